// For tests: an ALSA configuration that defines one control device over the project's plugin,
// with its state file in a fresh temporary directory. While the object lives, ALSA_CONFIG_PATH
// points at that configuration and DASHTUNE_MIXER_DEVICES names the device.
#pragma once

#include <alsa/asoundlib.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace dashtune::testing {

class TestAlsaPlugin {
 public:
  static constexpr const char* kDeviceName = "dashtune_test";

  // source_enum: the name of the capture-source enumeration, "" for the plugin's default.
  explicit TestAlsaPlugin(const std::string& source_enum = "") {
    std::string pattern = (std::filesystem::temp_directory_path() / "dashtune-alsa-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
    directory_ = buffer.data();
    state_path_ = (directory_ / "state").string();
    config_path_ = (directory_ / "asound.conf").string();
    std::ofstream config(config_path_);
    config << "ctl_type.dashtune { lib \"" << DASHTUNE_ALSA_PLUGIN_PATH << "\" }\n"
           << "ctl." << kDeviceName << " { type dashtune state \"" << state_path_ << "\"";
    if (!source_enum.empty()) config << " source_enum \"" << source_enum << "\"";
    config << " }\n";
    config.close();
    Save("ALSA_CONFIG_PATH", saved_config_path_);
    Save("DASHTUNE_MIXER_DEVICES", saved_devices_);
    setenv("ALSA_CONFIG_PATH", config_path_.c_str(), 1);
    setenv("DASHTUNE_MIXER_DEVICES", kDeviceName, 1);
  }

  ~TestAlsaPlugin() {
    Restore("ALSA_CONFIG_PATH", saved_config_path_);
    Restore("DASHTUNE_MIXER_DEVICES", saved_devices_);
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  TestAlsaPlugin(const TestAlsaPlugin&) = delete;
  TestAlsaPlugin& operator=(const TestAlsaPlugin&) = delete;

  const std::string& StatePath() const { return state_path_; }
  const std::string& ConfigPath() const { return config_path_; }

 private:
  static void Save(const char* name, std::optional<std::string>& saved) {
    if (const char* value = getenv(name)) saved = value;
  }
  static void Restore(const char* name, const std::optional<std::string>& saved) {
    if (saved)
      setenv(name, saved->c_str(), 1);
    else
      unsetenv(name);
  }

  std::filesystem::path directory_;
  std::string state_path_;
  std::string config_path_;
  std::optional<std::string> saved_config_path_;
  std::optional<std::string> saved_devices_;
};

// A second, independent ALSA handle on the plugin's device: reads and writes raw element values
// the way another program would.
class AlsaControlPeer {
 public:
  AlsaControlPeer() {
    if (snd_ctl_open(&ctl_, TestAlsaPlugin::kDeviceName, 0) < 0)
      throw std::runtime_error("cannot open the test control device");
  }
  ~AlsaControlPeer() { snd_ctl_close(ctl_); }
  AlsaControlPeer(const AlsaControlPeer&) = delete;
  AlsaControlPeer& operator=(const AlsaControlPeer&) = delete;

  // Integer, boolean or enumerated values of the element, one per channel.
  std::vector<long> Read(const char* element) {
    snd_ctl_elem_value_t* value;
    snd_ctl_elem_value_alloca(&value);
    snd_ctl_elem_info_t* info;
    snd_ctl_elem_info_alloca(&info);
    Identify(element, value, info);
    if (snd_ctl_elem_read(ctl_, value) < 0) throw std::runtime_error("element read failed");
    std::vector<long> result;
    for (unsigned c = 0; c < snd_ctl_elem_info_get_count(info); ++c)
      result.push_back(snd_ctl_elem_info_get_type(info) == SND_CTL_ELEM_TYPE_ENUMERATED
                           ? static_cast<long>(snd_ctl_elem_value_get_enumerated(value, c))
                           : snd_ctl_elem_value_get_integer(value, c));
    return result;
  }

  void Write(const char* element, const std::vector<long>& values) {
    snd_ctl_elem_value_t* value;
    snd_ctl_elem_value_alloca(&value);
    snd_ctl_elem_info_t* info;
    snd_ctl_elem_info_alloca(&info);
    Identify(element, value, info);
    for (unsigned c = 0; c < values.size(); ++c) {
      if (snd_ctl_elem_info_get_type(info) == SND_CTL_ELEM_TYPE_ENUMERATED)
        snd_ctl_elem_value_set_enumerated(value, c, static_cast<unsigned>(values[c]));
      else
        snd_ctl_elem_value_set_integer(value, c, values[c]);
    }
    if (snd_ctl_elem_write(ctl_, value) < 0) throw std::runtime_error("element write failed");
  }

 private:
  void Identify(const char* element, snd_ctl_elem_value_t* value, snd_ctl_elem_info_t* info) {
    snd_ctl_elem_id_t* id;
    snd_ctl_elem_id_alloca(&id);
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, element);
    snd_ctl_elem_info_set_id(info, id);
    if (snd_ctl_elem_info(ctl_, info) < 0) throw std::runtime_error("no such element");
    snd_ctl_elem_value_set_id(value, id);
  }

  snd_ctl_t* ctl_ = nullptr;
};

}  // namespace dashtune::testing
