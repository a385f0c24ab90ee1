// The page's controls and the application's answers to their events.
#include "car_page.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "classlib/bitmap.h"
#include "classlib/forms.h"
#include "components/video/ds_util.h"
#include "platform/core/mul_div.h"
#include "platform/core/strings.h"

namespace carpc {

namespace fs = std::filesystem;
using namespace dashtune;

namespace {

constexpr TColor kPageColor = 0x281E18;     // dark blue-grey
constexpr TColor kTextColor = clWhite;
constexpr TColor kDimTextColor = 0xB4AAA0;
constexpr TColor kErrorColor = 0x6060FF;
constexpr TColor kChosenColor = 0x704A2C;   // muted blue
constexpr int kCoverSize = 64;
constexpr std::uint16_t kKeyEscape = 0x1B;
constexpr win::RECT kTitleArea{12, 8, 528, 36};
constexpr win::RECT kPositionText{536, 236, 792, 256};
constexpr win::RECT kVolumeLabel{536, 262, 792, 282};
constexpr win::RECT kPhoneLine{536, 330, 792, 350};
constexpr win::RECT kMessageArea{536, 356, 792, 472};

void Fill(TCanvas* canvas, TColor color, const win::RECT& rect) {
  canvas->GetBrush()->SetColor(color);
  canvas->FillRect(rect);
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](unsigned char a, unsigned char b) {
           return std::tolower(a) == std::tolower(b);
         });
}

// Splits text into lines no wider than `width` in the canvas's font.
std::vector<std::string> Wrap(TCanvas* canvas, const std::string& text, int width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    const std::string longer = line.empty() ? word : line + " " + word;
    if (!line.empty() && canvas->TextWidth(longer) > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = longer;
    }
    start = end + 1;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The path, shortened at its start to fit `width` in the canvas's font: its end names the folder.
std::string FitPath(TCanvas* canvas, const std::string& path, int width) {
  std::string shown = path;
  for (std::size_t cut = 0; canvas->TextWidth(shown) > width;) {
    cut = path.find('/', cut + 1);
    if (cut == std::string::npos) break;
    shown = "…" + path.substr(cut);
  }
  return shown;
}

}  // namespace

// Shows one picture scaled into the control, and again whenever the picture changes: an
// animated GIF's painter draws each frame into the picture, which reports it as a change.
class PictureView : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  TGraphic* GetGraphic() const { return graphic_; }
  void SetGraphic(TGraphic* graphic) {  // not owned
    if (graphic_ != nullptr) graphic_->OnChange = nullptr;
    graphic_ = graphic;
    if (graphic_ != nullptr) graphic_->OnChange = [this](TObject*) { Invalidate(); };
    Invalidate();
  }

 protected:
  void Paint() override {
    TCanvas* canvas = GetCanvas();
    Fill(canvas, clBlack, GetClientRect());
    if (graphic_ != nullptr)
      canvas->StretchDraw(FitInto(graphic_->GetWidth(), graphic_->GetHeight(), GetClientRect()), graphic_);
  }

 private:
  TGraphic* graphic_ = nullptr;
};

CarPage::CarPage(std::function<void(const std::string&)> message) : message_sink_(std::move(message)) {
  BuildControls();
  BuildTiles();
  HookTileEvents();
  ConnectMixer();
}

CarPage::~CarPage() {
  StopVideo();
  if (phone_) phone_->SetOpen(false);
  picture_view_->SetGraphic(nullptr);
  tiles_->GetItems()->Clear();
}

void CarPage::BuildControls() {
  form_ = std::make_unique<TForm>(nullptr);
  form_->SetBounds(0, 0, kWidth, kHeight);
  form_->SetColor(kPageColor);
  form_->GetFont()->SetName("DejaVu Sans");
  form_->GetFont()->SetHeight(14);
  form_->GetFont()->SetColor(kTextColor);
  form_->OnPaint = [this](TObject*) { PaintPage(); };
  form_->OnKeyDown = [this](TObject*, std::uint16_t& key, TShiftState) { KeyDown(key); };
  form_->OnClose = [](TObject*, TCloseAction&) { Application->Terminate(); };

  graph_ = new TFilterGraph(form_.get());
  graph_->SetGraphEdit(true);
  graph_->OnGraphComplete = [this](TObject*, win::HRESULT, win::IBaseFilter*) { StopVideo(); };
  picture_view_ = new PictureView(form_.get());
  picture_view_->SetParent(form_.get());
  picture_view_->SetBoundsRect(kViewArea);
  video_ = new TVideoWindow(form_.get());
  video_->SetName("Video");
  video_->SetMode(vmVMR);
  video_->SetParent(form_.get());
  video_->SetBoundsRect(kViewArea);
  video_->SetFilterGraph(graph_);
  video_->SetVisible(false);
  position_ = new TDSTrackBar(form_.get());
  position_->SetParent(form_.get());
  position_->SetBounds(kViewArea.left, kViewArea.bottom + 4, kViewArea.right - kViewArea.left, 28);
  position_->SetFilterGraph(graph_);
  position_->SetOnTimer([this](TObject*, std::uint32_t current, std::uint32_t stop) {
    position_text_ = std::to_string(current / 1000) + "." + std::to_string(current / 100 % 10) + " s of " +
                     std::to_string(stop / 1000) + "." + std::to_string(stop / 100 % 10) + " s";
    form_->Invalidate();
  });
  volume_ = new TTrackBar(form_.get());
  volume_->SetParent(form_.get());
  volume_->SetBounds(kVolumeLabel.left, kVolumeLabel.bottom + 4, kVolumeLabel.right - kVolumeLabel.left, 28);
  volume_->SetMax(100);
}

void CarPage::BuildTiles() {
  tiles_ = new TTouchListview(form_.get());
  tiles_->SetParent(form_.get());
  tiles_->SetBounds(0, kTitleArea.bottom + 4, 528, kHeight - kTitleArea.bottom - 8);
  tiles_->SetColor(kPageColor);
  tiles_->GetFont()->SetName("DejaVu Sans");
  tiles_->GetFont()->SetHeight(14);
  tiles_->GetFont()->SetColor(kTextColor);
  tiles_->SetView(elsTile);
  // The chosen tile is marked by the list's selection, across the whole tile, in the page's colours
  // whether or not the list has the keyboard focus.
  TTouchSelectionManager* selection = tiles_->GetSelection();
  selection->SetFullCellPaint(true);
  selection->SetColor(kChosenColor);
  selection->SetInactiveColor(kChosenColor);
  selection->SetBorderColor(kChosenColor);
  selection->SetInactiveBorderColor(kChosenColor);
  selection->SetTextColor(kTextColor);
  selection->SetInactiveTextColor(kTextColor);
  // Two tiles to a row: the layout keeps room for a vertical scroll bar.
  tiles_->GetCellSizes()->GetTile()->SetSize(250, 76);
  tiles_->GetPaintInfoItem()->SetCaptionIndent(6);
  tiles_->GetPaintInfoItem()->SetImageIndent(6);
  // Columns only give the detail lines their captions; the header stays hidden in tile view.
  for (int width : {160, 100, 80}) tiles_->GetHeader()->GetColumns()->AddColumn()->SetWidth(width);
  covers_ = new TCustomImageList(form_.get(), kCoverSize, kCoverSize);
  tiles_->OnKeyDown = [this](TObject*, std::uint16_t& key, TShiftState) { KeyDown(key); };
}

void CarPage::KeyDown(std::uint16_t key) {
  if (key == kKeyEscape) form_->Close();
}

MediaEntry* CarPage::EntryOf(TTouchItem* item) {
  std::vector<MediaEntry>& entries = folder_.Entries();
  const int index = item->GetIndex();
  return index >= 0 && index < static_cast<int>(entries.size()) ? &entries[static_cast<std::size_t>(index)] : nullptr;
}

void CarPage::HookTileEvents() {
  tiles_->OnItemGetCaption = [this](TCustomTouchListview*, TTouchItem* item, int column, WideString& caption) {
    listview::DefaultCaptionLines = 1;
    MediaEntry* entry = EntryOf(item);
    if (entry != nullptr) caption = MediaFolder::Caption(*entry, column);
  };
  tiles_->OnItemGetImageIndex = [this](TCustomTouchListview*, TTouchItem* item, int column, TTouchImageKind kind,
                                       TCommonImageIndexInteger& index) {
    if (MediaEntry* entry = EntryOf(item); entry != nullptr && kind == eikNormal && column == 0) index = entry->image_index;
  };
  tiles_->OnItemGetImageList = [this](TCustomTouchListview*, TTouchItem*, int, TCustomImageList*& list) {
    list = covers_;
  };
  // Three lines: the name (column 0), then the type and the size (columns 1 and 2).
  tiles_->OnItemGetTileDetailCount = [](TCustomTouchListview*, TTouchItem*, int& count) { count = 3; };
  tiles_->OnItemGetTileDetail = [](TCustomTouchListview*, TTouchItem*, int line, int& detail) { detail = line; };
  tiles_->OnItemPaintText = [](TCustomTouchListview*, TTouchItem*, int position, TCanvas* canvas) {
    canvas->GetFont()->SetColor(position == 0 ? kTextColor : kDimTextColor);
  };
  tiles_->OnItemClick = [this](TCustomTouchListview*, TTouchItem* item, TMouseButton, TShiftState, win::POINT) {
    ChooseEntry(item->GetIndex());
  };
  // Type-ahead: a tile matches when its name begins with what was typed, in any case.
  tiles_->GetIncrementalSearch()->SetEnabled(true);
  tiles_->OnIncrementalSearch = [this](TTouchItem* item, const WideString& typed, int& result) {
    const MediaEntry* entry = EntryOf(item);
    result = entry != nullptr && StartsWithIgnoringCase(entry->name, win::Utf16ToUtf8(typed)) ? 0 : 1;
  };
  // Renaming in place: a tap on the caption of the tile that has the focus.
  tiles_->GetEditManager()->SetEnabled(true);
  tiles_->OnItemSetCaption = [this](TCustomTouchListview*, TTouchItem* item, int column, const WideString& caption) {
    if (MediaEntry* entry = EntryOf(item); entry != nullptr && column == 0) Rename(*entry, caption);
  };
}

void CarPage::ConnectMixer() {
  mixer_ = new TAudioMixer(form_.get());
  if (mixer_->GetMixerId() < 0) {
    volume_->SetEnabled(false);
    ShowMessage("No mixer: the volume cannot be set.");
    return;
  }
  volume_->SetPosition(std::max(MasterVolumePercent(), 0));
  volume_->OnChange = [this](TObject*) {
    if (showing_mixer_volume_) return;
    const int volume = win::MulDiv(volume_->GetPosition(), 65535, 100);
    if (!mixer_->SetVolume(0, -1, volume, volume, 0)) ShowMessage("The mixer refused the volume.");
    ShowMixerVolume();
  };
  mixer_->OnControlChange = [this](TObject*, std::intptr_t, int) { ShowMixerVolume(); };
}

void CarPage::ShowMixerVolume() {
  const int volume = MasterVolumePercent();
  if (volume >= 0 && volume != volume_->GetPosition()) {
    showing_mixer_volume_ = true;
    volume_->SetPosition(volume);
    showing_mixer_volume_ = false;
  }
  form_->Invalidate();
}

int CarPage::MasterVolumePercent() {
  int left = -1, right = -1, mute = -1;
  bool stereo = false, volume_disabled = false, mute_disabled = false, mute_is_select = false;
  if (!mixer_->GetVolume(0, -1, left, right, mute, stereo, volume_disabled, mute_disabled, mute_is_select) || left < 0)
    return -1;
  return win::MulDiv(left, 100, 65535);
}

bool CarPage::ReadMasterLevels(MasterLevels& levels) {
  bool stereo = false, volume_disabled = false, mute_disabled = false, mute_is_select = false;
  return mixer_->GetMixerId() >= 0 && mixer_->GetVolume(0, -1, levels.left, levels.right, levels.mute, stereo,
                                                         volume_disabled, mute_disabled, mute_is_select);
}

void CarPage::RestoreMasterLevels(const MasterLevels& levels) {
  if (!mixer_->SetVolume(0, -1, levels.left, levels.right, levels.mute)) ShowMessage("The mixer refused the volume.");
  ShowMixerVolume();
}

void CarPage::ConnectPhone() {
  int number = 0;
  for (int n = 1; n <= 99 && number == 0; ++n)
    if (std::getenv(("DASHTUNE_COM" + std::to_string(n)).c_str()) != nullptr) number = n;
  if (number == 0) {
    phone_status_ = "no phone";
    return;
  }
  const std::string port = "COM" + std::to_string(number);
  phone_ = std::make_unique<TSerCustomComPort>(nullptr);
  phone_->SetComNumber(static_cast<win::WORD>(number));
  phone_->SetBaud(9600);
  phone_->SetOnTriggerAvail([this](TObject*, win::WORD count) { PhoneReceived(count); });
  try {
    phone_->SetOpen(true);
    phone_->PutString("AT\r");
    phone_status_ = "phone on " + port + ": no answer yet";
  } catch (const Exception& e) {
    phone_status_ = "phone on " + port + ": not available";
    ShowMessage("The phone's port " + port + " cannot be used: " + e.GetMessage());
  }
  form_->Invalidate();
}

void CarPage::PhoneReceived(int count) {
  constexpr std::size_t kReplyKept = 256;
  for (int i = 0; i < count; ++i) phone_reply_ += static_cast<char>(phone_->GetChar());
  if (phone_reply_.size() > kReplyKept) phone_reply_.erase(0, phone_reply_.size() - kReplyKept);
  // The answer is the last complete line.
  std::string line;
  std::size_t start = 0;
  for (std::size_t end; (end = phone_reply_.find_first_of("\r\n", start)) != std::string::npos; start = end + 1)
    if (end > start) line = phone_reply_.substr(start, end - start);
  if (!line.empty()) {
    phone_status_ = "phone on COM" + std::to_string(phone_->GetComNumber()) + ": answered " + line;
    form_->Invalidate();
  }
}

bool CarPage::OpenFolder(const fs::path& folder, FolderReport& report) {
  StopVideo();
  picture_view_->SetGraphic(nullptr);
  chosen_ = -1;
  tiles_->BeginUpdate();
  tiles_->GetItems()->Clear();
  covers_->Clear();
  title_ = folder.string();
  const bool opened = folder_.Open(folder, report, [this](const std::string& text) { ShowMessage(text); });
  for (MediaEntry& entry : folder_.Entries()) {
    entry.image_index = AddCover(entry);
    tiles_->GetItems()->AddVirtual();
  }
  tiles_->EndUpdate();
  form_->Invalidate();
  return opened;
}

int CarPage::AddCover(const MediaEntry& entry) {
  TBitmap cover;
  cover.SetPixelFormat(pf24bit);
  cover.SetSize(kCoverSize, kCoverSize);
  Fill(cover.GetCanvas(), kPageColor, {0, 0, kCoverSize, kCoverSize});
  DrawCover(entry, cover);
  return covers_->Add(&cover, nullptr);
}

TGraphic* CarPage::ShownPicture() const { return picture_view_->GetGraphic(); }

bool CarPage::ChooseEntry(int index) {
  std::vector<MediaEntry>& entries = folder_.Entries();
  if (index < 0 || index >= static_cast<int>(entries.size())) return false;
  chosen_ = index;
  MarkChosen(index);
  const MediaEntry& entry = entries[static_cast<std::size_t>(index)];
  StopVideo();
  switch (entry.kind) {
    case MediaEntry::Kind::Picture:
      picture_view_->SetGraphic(entry.picture.get());
      if (!entry.picture) ShowMessage(entry.name + " cannot be shown; its tile shows a placeholder.");
      return entry.picture != nullptr;
    case MediaEntry::Kind::Video:
      picture_view_->SetGraphic(nullptr);
      return PlayVideo(entry);
    case MediaEntry::Kind::Folder: {
      // Opening the folder frees the entries, this one too.
      const fs::path folder = entry.path;
      FolderReport report;
      return OpenFolder(folder, report);
    }
    default:
      return false;
  }
}

void CarPage::MarkChosen(int index) {
  TTouchItem* item = tiles_->GetItems()->GetItem(index);
  item->SetFocused(true);
  if (item->GetSelected()) return;
  tiles_->GetSelection()->ClearAll();
  item->SetSelected(true);
}

bool CarPage::PlayVideo(const MediaEntry& entry) {
  // The media engine calls anything but a regular file a file it cannot find: say what it is.
  try {
    RequireRegularFile(entry.path);
  } catch (const std::exception& e) {
    ShowMessage(Sentence(entry.name + " does not play: " + e.what()));
    return false;
  }
  graph_->ClearGraph();
  graph_->SetActive(true);
  // The graph raises for the failures it checks and answers the others.
  std::string failure;
  try {
    const win::HRESULT result = graph_->RenderFile(MediaFolder::ParsingName(entry));
    if (win::FAILED(result)) failure = video::GetDSErrorText(result);
  } catch (const EDirectShowException& e) {
    failure = e.GetMessage();
  }
  if (!failure.empty()) {
    graph_->SetActive(false);
    ShowMessage(entry.name + " does not play: " + failure);
    return false;
  }
  video_->SetVisible(true);
  return graph_->Play();
}

void CarPage::StopVideo() {
  if (graph_ == nullptr || !graph_->GetActive()) return;
  graph_->Stop();
  graph_->ClearGraph();
  graph_->SetActive(false);
  video_->SetVisible(false);
  position_text_.clear();
  position_->SetPosition(position_->GetMin());
  form_->Invalidate();
}

void CarPage::Rename(MediaEntry& entry, const std::u16string& caption) {
  if (!MediaFolder::Rename(entry, caption))
    ShowMessage(entry.name + " cannot be renamed to \"" + win::Utf16ToUtf8(caption) + "\".");
}

void CarPage::ShowMessage(const std::string& text) {
  message_ = text;
  if (message_sink_) message_sink_(text);
  if (form_) form_->Invalidate();
}

void CarPage::PaintPage() {
  TCanvas* canvas = form_->GetCanvas();
  canvas->GetFont()->Assign(form_->GetFont());
  // Each text fills its box with the page's colour, so that a shorter text leaves nothing behind.
  canvas->GetBrush()->SetColor(kPageColor);
  const std::string title = "Dashtune car PC · ";
  const int path_width = kTitleArea.right - kTitleArea.left - canvas->TextWidth(title);
  canvas->TextRect(kTitleArea, kTitleArea.left, kTitleArea.top + 4, title + FitPath(canvas, title_, path_width));
  canvas->TextRect(kPositionText, kPositionText.left, kPositionText.top, position_text_);
  const int volume = mixer_ != nullptr ? MasterVolumePercent() : -1;
  canvas->TextRect(kVolumeLabel, kVolumeLabel.left, kVolumeLabel.top,
                   volume < 0 ? "Volume: no mixer" : "Volume: " + std::to_string(volume) + " %");
  canvas->TextRect(kPhoneLine, kPhoneLine.left, kPhoneLine.top, "Phone: " + phone_status_);
  canvas->GetFont()->SetColor(kErrorColor);
  canvas->FillRect(kMessageArea);
  int top = kMessageArea.top;
  for (const std::string& line : Wrap(canvas, message_, kMessageArea.right - kMessageArea.left)) {
    if (top + 18 > kMessageArea.bottom) break;
    canvas->TextRect({kMessageArea.left, top, kMessageArea.right, top + 18}, kMessageArea.left, top, line);
    top += 18;
  }
}

}  // namespace carpc
