// The car PC's page: a borderless 800x480 form with the tile list of a folder's pictures and
// videos, the area that shows the chosen picture or plays the chosen video with its position bar,
// the volume slider on the sound card's master line, the phone's status line and a message line.
// It is the application's side of each library: it creates the components, sets them and
// answers their events.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classlib/form.h"
#include "classlib/graphics.h"
#include "classlib/imagelist.h"
#include "classlib/track_bar.h"
#include "components/listview/listview.h"
#include "components/serial/com_port.h"
#include "components/video/audio_mixer.h"
#include "components/video/ds_track_bar.h"
#include "components/video/video_window.h"
#include "media_folder.h"

namespace carpc {

class PictureView;

// The master line's levels and mute as the mixer reports them (0..65535), to put back later.
struct MasterLevels {
  int left = -1;
  int right = -1;
  int mute = -1;
};

class CarPage {
 public:
  static constexpr int kWidth = 800;
  static constexpr int kHeight = 480;
  // The area that shows the chosen picture or video, in form coordinates.
  static constexpr win::RECT kViewArea{536, 8, 792, 200};

  // `message`: receives every message the page shows (errors a user can cause).
  explicit CarPage(std::function<void(const std::string&)> message);
  ~CarPage();
  CarPage(const CarPage&) = delete;
  CarPage& operator=(const CarPage&) = delete;

  dashtune::TForm* Form() const { return form_.get(); }
  dashtune::TTouchListview* Tiles() const { return tiles_; }
  dashtune::TFilterGraph* Graph() const { return graph_; }
  dashtune::TDSTrackBar* PositionBar() const { return position_; }
  dashtune::TTrackBar* VolumeSlider() const { return volume_; }
  dashtune::TAudioMixer* Mixer() const { return mixer_; }
  const std::vector<MediaEntry>& Entries() { return folder_.Entries(); }
  // The entry chosen last (a tap or the session), -1 before.
  int ChosenIndex() const { return chosen_; }
  const std::string& PhoneStatus() const { return phone_status_; }
  // The picture the view area shows (nil while a video plays or nothing is chosen).
  dashtune::TGraphic* ShownPicture() const;

  // Lists the folder's pictures, videos and sub-folders; a folder that cannot be read shows a
  // message and answers false.
  bool OpenFolder(const std::filesystem::path& folder, FolderReport& report);
  // What a tap on a tile does: a picture shows in the view area (animated GIFs play), a video
  // plays, a folder opens in the tiles' place; answers false with a message when the entry
  // cannot be shown.
  bool ChooseEntry(int index);
  // Opens the phone's port when DASHTUNE_COM<n> names one and sends "AT".
  void ConnectPhone();
  // The master line's volume in percent, -1 without a mixer.
  int MasterVolumePercent();
  // False without a mixer.
  bool ReadMasterLevels(MasterLevels& levels);
  void RestoreMasterLevels(const MasterLevels& levels);
  void ShowMessage(const std::string& text);

 private:
  void BuildControls();
  // Escape on the page or in the list closes the page.
  void KeyDown(std::uint16_t key);
  // The entry of a tile; nil for an item without one (while the list is being emptied).
  MediaEntry* EntryOf(dashtune::TTouchItem* item);
  void BuildTiles();
  void HookTileEvents();
  void ConnectMixer();
  // Moves the slider to the mixer's value, which goes in the sound card's steps, without setting
  // the mixer again.
  void ShowMixerVolume();
  int AddCover(const MediaEntry& entry);
  // The chosen tile has the focus and is the one selected, however it was chosen.
  void MarkChosen(int index);
  // Stops a playing clip and puts the position bar and its text back to the start.
  void StopVideo();
  bool PlayVideo(const MediaEntry& entry);
  void PaintPage();
  void PhoneReceived(int count);
  void Rename(MediaEntry& entry, const std::u16string& caption);

  std::function<void(const std::string&)> message_sink_;
  std::unique_ptr<dashtune::TForm> form_;
  // Owned by the form.
  dashtune::TTouchListview* tiles_ = nullptr;
  dashtune::TCustomImageList* covers_ = nullptr;
  dashtune::TFilterGraph* graph_ = nullptr;
  dashtune::TVideoWindow* video_ = nullptr;
  dashtune::TDSTrackBar* position_ = nullptr;
  PictureView* picture_view_ = nullptr;
  dashtune::TTrackBar* volume_ = nullptr;
  dashtune::TAudioMixer* mixer_ = nullptr;
  // The phone's port has no owner, as the application makes it.
  std::unique_ptr<dashtune::TSerCustomComPort> phone_;
  MediaFolder folder_;
  int chosen_ = -1;
  bool showing_mixer_volume_ = false;
  std::string title_;
  std::string position_text_;
  std::string phone_status_ = "no phone";
  std::string phone_reply_;
  std::string message_;
};

}  // namespace carpc
