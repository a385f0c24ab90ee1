// The sample folder: pictures drawn here and stored through TPNGPicture and TGIFPicture, a clip
// encoded by a GStreamer pipeline, and a sub-folder. Everything is made in a temporary folder
// that is renamed into place at the end, so a folder that exists is complete.
#include "sample_folder.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "classlib/bitmap.h"
#include "components/imaging/gif/gif_picture.h"
#include "components/imaging/png/png_picture.h"
// GLib after the project's headers: its TRUE and FALSE macros would rename the platform's own.
#include <gst/gst.h>

namespace carpc {
namespace {

namespace fs = std::filesystem;
using dashtune::TBitmap;

struct Rgb {
  std::uint8_t r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  const auto channel = [t](std::uint8_t x, std::uint8_t y) {
    return static_cast<std::uint8_t>(std::lround(x + (y - x) * t));
  };
  return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

// A 24-bit bitmap whose every pixel comes from `shade`(x, y).
template <class Shade>
std::unique_ptr<TBitmap> Draw(int width, int height, Shade shade) {
  auto bitmap = std::make_unique<TBitmap>();
  bitmap->SetPixelFormat(dashtune::pf24bit);
  bitmap->SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    auto* row = static_cast<std::uint8_t*>(bitmap->GetScanLine(y));
    for (int x = 0; x < width; ++x, row += 3) {
      const Rgb c = shade(x, y);
      row[0] = c.b;
      row[1] = c.g;
      row[2] = c.r;
    }
  }
  return bitmap;
}

// A landscape: a sky from `top` to `horizon`, a sun, and ground below two thirds of the height.
std::unique_ptr<TBitmap> Landscape(Rgb top, Rgb horizon, Rgb sun, Rgb ground, int sun_x) {
  constexpr int kWidth = 160, kHeight = 120, kSunRadius = 16;
  return Draw(kWidth, kHeight, [&](int x, int y) {
    const int ground_top = kHeight * 2 / 3;
    if (y >= ground_top) {
      // A road narrowing towards the horizon.
      const int half = (y - ground_top) * 3 / 2 + 2;
      if (std::abs(x - kWidth / 2) < half) return Rgb{70, 70, 76};
      return ground;
    }
    const int dx = x - sun_x, dy = y - ground_top + 12;
    if (dx * dx + dy * dy < kSunRadius * kSunRadius) return sun;
    return Mix(top, horizon, static_cast<double>(y) / ground_top);
  });
}

void SavePng(const TBitmap& bitmap, const fs::path& path) {
  dashtune::TPNGPicture png;
  png.Assign(&bitmap);
  png.SaveToFile(path.string());
}

// A GIF of the frames, each shown for `delay` hundredths of a second, looping for ever.
void SaveGif(const std::vector<std::unique_ptr<TBitmap>>& frames, std::uint16_t delay, const fs::path& path) {
  dashtune::TGIFPicture gif;
  for (const auto& frame : frames) {
    dashtune::TGIFSubImage* image = gif.GetImages()->GetFrame(gif.Add(frame.get()));
    if (frames.size() > 1) {
      if (gif.GetImages()->GetCount() == 1) image->GetExtensions()->Add(std::make_unique<dashtune::TGIFAppExtNSLoop>(image));
      auto control = std::make_unique<dashtune::TGIFGraphicControlExtension>(image);
      control->SetDelay(delay);
      image->GetExtensions()->Add(std::move(control));
    }
  }
  gif.SaveToFile(path.string());
}

// A turn signal: an amber disc that grows and fades over eight frames.
std::vector<std::unique_ptr<TBitmap>> BlinkerFrames() {
  std::vector<std::unique_ptr<TBitmap>> frames;
  for (int f = 0; f < 8; ++f) {
    const int radius = 10 + f * 5;
    const double glow = 1.0 - f / 8.0;
    frames.push_back(Draw(96, 96, [&](int x, int y) {
      const int dx = x - 48, dy = y - 48;
      if (dx * dx + dy * dy < radius * radius) return Mix(Rgb{30, 30, 36}, Rgb{255, 170, 0}, glow);
      return Rgb{30, 30, 36};
    }));
  }
  return frames;
}

// Three seconds of moving colour bars with a tone, as Ogg Theora and Vorbis.
void EncodeClip(const fs::path& path) {
  gst_init(nullptr, nullptr);
  const std::string description =
      "videotestsrc num-buffers=75 pattern=smpte horizontal-speed=4 "
      "! video/x-raw,width=320,height=240,framerate=25/1 ! theoraenc ! queue ! oggmux name=mux "
      "! filesink location=\"" + path.string() + "\" "
      "audiotestsrc num-buffers=150 samplesperbuffer=882 freq=440 "
      "! audio/x-raw,rate=44100,channels=2 ! audioconvert ! vorbisenc ! queue ! mux.";
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  if (pipeline == nullptr) {
    const std::string text = error != nullptr ? error->message : "unknown error";
    if (error != nullptr) g_error_free(error);
    throw std::runtime_error("cannot make the sample clip: " + text);
  }
  if (error != nullptr) g_error_free(error);  // a warning only: the pipeline was made
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* message = gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND,
                                                   static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const bool finished = message != nullptr && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS;
  if (message != nullptr) gst_message_unref(message);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  if (!finished) throw std::runtime_error("cannot make the sample clip: the encoder did not finish");
}

void MakeSamples(const fs::path& folder) {
  SavePng(*Landscape({40, 90, 200}, {170, 210, 250}, {255, 240, 120}, {60, 140, 60}, 120), folder / "Alpine road.png");
  SaveGif(BlinkerFrames(), 12, folder / "Blinker.gif");
  EncodeClip(folder / "City drive.ogv");
  SavePng(*Landscape({40, 20, 80}, {250, 120, 60}, {255, 200, 80}, {40, 50, 40}, 50), folder / "Dusk.png");
  std::vector<std::unique_ptr<TBitmap>> evening;
  evening.push_back(Landscape({10, 20, 60}, {90, 60, 120}, {230, 230, 250}, {30, 40, 30}, 30));
  SaveGif(evening, 0, folder / "Evening.gif");
  fs::create_directory(folder / "More pictures");
  SavePng(*Landscape({120, 170, 220}, {220, 230, 240}, {255, 255, 220}, {200, 180, 120}, 80),
          folder / "More pictures" / "Harbour.png");
}

}  // namespace

fs::path UserCacheFolder() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache == '/') return cache;
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') throw std::runtime_error("HOME is not set");
  return fs::path(home) / ".cache";
}

fs::path EnsureSampleFolder(const ProgressLine& progress) {
  const fs::path parent = UserCacheFolder() / "dashtune";
  const fs::path folder = parent / "carpc-samples";
  if (fs::is_directory(folder)) return folder;
  progress("making the sample folder " + folder.string() + " (pictures and a clip, a few seconds)");
  fs::create_directories(parent);
  const fs::path work = parent / ("carpc-samples.tmp-" + std::to_string(getpid()));
  fs::remove_all(work);
  fs::create_directory(work);
  try {
    MakeSamples(work);
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(work, ignored);
    throw;
  }
  std::error_code renamed;
  fs::rename(work, folder, renamed);
  // Another run that made the folder meanwhile wins; its folder is as good as this one.
  if (renamed) {
    fs::remove_all(work, renamed);
    if (!fs::is_directory(folder)) throw std::runtime_error("cannot make the sample folder " + folder.string());
  }
  return folder;
}

}  // namespace carpc
