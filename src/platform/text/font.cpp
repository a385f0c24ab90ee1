#include "platform/text/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <list>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/text/font_files.h"

namespace win::text {
namespace {

// Heights beyond this are clamped: a glyph bitmap grows with the square of the size.
constexpr std::int64_t kMaxPixelHeight = 1024;
constexpr std::size_t kCachedFontCount = 32;

int ClampedMagnitude(LONG height) {
  return static_cast<int>(
      std::min<std::int64_t>(std::llabs(static_cast<std::int64_t>(height)), kMaxPixelHeight));
}

template <typename Char>
bool FaceNameIs(const Char (&face)[LF_FACESIZE], std::string_view wanted) {
  std::size_t length = 0;
  while (length < LF_FACESIZE && face[length] != 0) ++length;
  if (length != wanted.size()) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const auto unit = static_cast<std::uint32_t>(face[i]) & (sizeof(Char) == 1 ? 0xFFu : 0xFFFFu);
    auto lower = [](std::uint32_t c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(unit) != lower(static_cast<unsigned char>(wanted[i]))) return false;
  }
  return true;
}

template <typename LogFont>
FontRequest RequestFrom(const LogFont& log_font) {
  FontRequest request;
  const int magnitude = ClampedMagnitude(log_font.lfHeight);
  request.height = log_font.lfHeight < 0 ? -magnitude : magnitude;
  request.bold = log_font.lfWeight >= FW_SEMIBOLD;
  request.italic = log_font.lfItalic != 0;
  request.underline = log_font.lfUnderline != 0;
  request.fixed_metrics = FaceNameIs(log_font.lfFaceName, kFixedMetricsFaceName);
  return request;
}

void DecorateMetrics(const FontRequest& request, FontMetrics& metrics) {
  metrics.weight = request.bold ? FW_BOLD : FW_NORMAL;
  metrics.italic = request.italic;
  metrics.underline = request.underline;
}

// ---------------------------------------------------------------------------------------------
// The fixed-metrics test font.

class FixedMetricsFont final : public Font {
 public:
  explicit FixedMetricsFont(const FontRequest& request) : Font(MetricsFor(request)) {
    const FontMetrics& metrics = GetMetrics();
    blank_.advance = metrics.average_char_width;
    box_.advance = metrics.average_char_width;
    box_.width = std::max(1, metrics.average_char_width - 1);
    box_.height = metrics.height;
    box_.top = metrics.ascent;
    box_.coverage.assign(static_cast<std::size_t>(box_.width) * box_.height, 255);
  }

  const Glyph& GetGlyph(char32_t character) const override {
    return character <= U' ' || (character >= 0x7F && character <= 0xA0) ? blank_ : box_;
  }
  bool IsFixedMetrics() const override { return true; }

 private:
  static FontMetrics MetricsFor(const FontRequest& request) {
    const int cell = request.height == 0 ? kDefaultCellHeight : std::abs(request.height);
    FontMetrics metrics;
    metrics.height = cell;
    metrics.descent = cell / 4;
    metrics.ascent = cell - metrics.descent;
    metrics.average_char_width = std::max(1, cell / 2);
    metrics.max_char_width = metrics.average_char_width;
    metrics.underline_offset = metrics.descent / 2;
    metrics.underline_thickness = 1;
    DecorateMetrics(request, metrics);
    return metrics;
  }

  Glyph blank_;
  Glyph box_;
};

// ---------------------------------------------------------------------------------------------
// FreeType fonts.

// The FreeType library instance, shared by every face opened from it. FreeType allows a library
// to be used from several threads when face creation and destruction are serialised.
class FreeTypeLibrary {
 public:
  static std::shared_ptr<FreeTypeLibrary> Get() {
    static std::mutex mutex;
    static std::weak_ptr<FreeTypeLibrary> current;
    std::lock_guard lock(mutex);
    auto library = current.lock();
    if (!library) {
      FT_Library handle = nullptr;
      if (FT_Init_FreeType(&handle) != 0) return nullptr;
      library = std::shared_ptr<FreeTypeLibrary>(new FreeTypeLibrary(handle));
      current = library;
    }
    return library;
  }
  ~FreeTypeLibrary() { FT_Done_FreeType(handle_); }
  FreeTypeLibrary(const FreeTypeLibrary&) = delete;
  FreeTypeLibrary& operator=(const FreeTypeLibrary&) = delete;

  FT_Face OpenFace(const std::filesystem::path& path) {
    std::lock_guard lock(mutex_);
    FT_Face face = nullptr;
    if (FT_New_Face(handle_, path.c_str(), 0, &face) != 0) return nullptr;
    return face;
  }
  void CloseFace(FT_Face face) {
    std::lock_guard lock(mutex_);
    FT_Done_Face(face);
  }

 private:
  explicit FreeTypeLibrary(FT_Library handle) : handle_(handle) {}
  FT_Library handle_;
  std::mutex mutex_;
};

int RoundToInt(double value) { return static_cast<int>(std::lround(value)); }

// The face's vertical extent in font units, as the platform measures cells: the OS/2 table's
// Windows ascent and descent when present.
std::pair<double, double> CellExtentUnits(FT_Face face) {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  double ascent = os2 ? os2->usWinAscent : face->ascender;
  double descent = os2 ? os2->usWinDescent : -face->descender;
  if (ascent + descent <= 0) {
    ascent = face->units_per_EM * 0.8;
    descent = face->units_per_EM * 0.2;
  }
  return {ascent, descent};
}

class FreeTypeFont final : public Font {
 public:
  static std::shared_ptr<const Font> Open(const FontRequest& request,
                                          const std::filesystem::path& path, bool embolden) {
    auto library = FreeTypeLibrary::Get();
    if (!library) return nullptr;
    FT_Face face = library->OpenFace(path);
    if (!face) return nullptr;
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
      library->CloseFace(face);
      return nullptr;
    }
    FontMetrics metrics = SizeFace(face, request);
    return std::shared_ptr<const Font>(
        new FreeTypeFont(metrics, std::move(library), face, request.italic, embolden));
  }

  ~FreeTypeFont() override { library_->CloseFace(face_); }

  const Glyph& GetGlyph(char32_t character) const override {
    std::lock_guard lock(mutex_);
    const FT_UInt index = FT_Get_Char_Index(face_, character);
    auto& slot = glyphs_[index];
    if (!slot) slot = std::make_unique<Glyph>(Render(index));
    return *slot;
  }

 private:
  FreeTypeFont(const FontMetrics& metrics, std::shared_ptr<FreeTypeLibrary> library, FT_Face face,
               bool italic, bool embolden)
      : Font(metrics),
        library_(std::move(library)),
        face_(face),
        italic_(italic),
        embolden_(embolden) {}

  // Sets the face's pixel size from the height rules and answers the metrics at that size.
  static FontMetrics SizeFace(FT_Face face, const FontRequest& request) {
    const auto [ascent_units, descent_units] = CellExtentUnits(face);
    const double cell_units = ascent_units + descent_units;
    const double units_per_em = face->units_per_EM;
    FontMetrics metrics;
    int em;
    if (request.height < 0) {
      em = -request.height;
      metrics.ascent = RoundToInt(em * ascent_units / units_per_em);
      metrics.descent = RoundToInt(em * descent_units / units_per_em);
    } else {
      const int cell = request.height == 0 ? kDefaultCellHeight : request.height;
      em = std::max(1, RoundToInt(cell * units_per_em / cell_units));
      metrics.ascent = RoundToInt(cell * ascent_units / cell_units);
      metrics.descent = cell - metrics.ascent;
    }
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(em));
    const double scale = em / units_per_em;
    metrics.height = metrics.ascent + metrics.descent;
    metrics.internal_leading = std::max(0, metrics.height - em);
    const double line_units = face->height;  // ascender - descender + line gap
    metrics.external_leading = std::max(0, RoundToInt((line_units - cell_units) * scale));
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const double average_units =
        os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : units_per_em / 2;
    metrics.average_char_width = std::max(1, RoundToInt(average_units * scale));
    metrics.max_char_width = std::max(1, RoundToInt(face->max_advance_width * scale));
    metrics.underline_thickness = std::max(1, RoundToInt(face->underline_thickness * scale));
    const double centre_below_baseline = -face->underline_position * scale;
    metrics.underline_offset =
        std::max(0, RoundToInt(centre_below_baseline - metrics.underline_thickness / 2.0));
    if (metrics.underline_offset + metrics.underline_thickness > metrics.descent)
      metrics.underline_offset = std::max(0, metrics.descent - metrics.underline_thickness);
    DecorateMetrics(request, metrics);
    return metrics;
  }

  // Loads and renders one glyph; called with the lock held. A glyph that fails to load or
  // render is an empty glyph with the average advance.
  Glyph Render(FT_UInt index) const {
    Glyph glyph;
    glyph.advance = GetMetrics().average_char_width;
    if (FT_Load_Glyph(face_, index, FT_LOAD_TARGET_LIGHT) != 0) return glyph;
    FT_GlyphSlot slot = face_->glyph;
    if (italic_) FT_GlyphSlot_Oblique(slot);
    if (embolden_) FT_GlyphSlot_Embolden(slot);
    glyph.advance = std::max(0, RoundToInt(slot->advance.x / 64.0));
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_LIGHT) != 0) return glyph;
    CopyCoverage(slot->bitmap, glyph);
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    return glyph;
  }

  static void CopyCoverage(const FT_Bitmap& bitmap, Glyph& glyph) {
    if (bitmap.width == 0 || bitmap.rows == 0 || !bitmap.buffer) return;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return;
    glyph.width = static_cast<int>(bitmap.width);
    glyph.height = static_cast<int>(bitmap.rows);
    glyph.coverage.assign(static_cast<std::size_t>(glyph.width) * glyph.height, 0);
    const std::ptrdiff_t pitch = bitmap.pitch;
    const std::size_t row_bytes = static_cast<std::size_t>(pitch < 0 ? -pitch : pitch);
    const double gray_scale = bitmap.num_grays > 1 ? 255.0 / (bitmap.num_grays - 1) : 255.0;
    for (int y = 0; y < glyph.height; ++y) {
      // A negative pitch stores the bottom row first.
      const int memory_row = pitch < 0 ? glyph.height - 1 - y : y;
      const unsigned char* row = bitmap.buffer + static_cast<std::size_t>(memory_row) * row_bytes;
      std::uint8_t* out = glyph.coverage.data() + static_cast<std::size_t>(y) * glyph.width;
      for (int x = 0; x < glyph.width; ++x) {
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO)
          out[x] = (row[x / 8] & (0x80 >> (x % 8))) ? 255 : 0;
        else
          out[x] = static_cast<std::uint8_t>(std::min(255, RoundToInt(row[x] * gray_scale)));
      }
    }
  }

  std::shared_ptr<FreeTypeLibrary> library_;
  FT_Face face_;
  bool italic_;
  bool embolden_;
  mutable std::mutex mutex_;  // guards the face, which FreeType lets one thread use at a time
  mutable std::unordered_map<FT_UInt, std::unique_ptr<Glyph>> glyphs_;
};


void NoteMissingFontsOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::fprintf(stderr,
                 "dashtune: the DejaVu Sans font files were not found (set DASHTUNE_FONT_DIR); "
                 "text uses fixed-metrics boxes\n");
  });
}

// The most recently used realised fonts, so that creating the same logical font again (as a
// canvas does on every font change) does not reopen and rescale the face.
class FontCache {
 public:
  std::shared_ptr<const Font> Find(const FontRequest& request) {
    std::lock_guard lock(mutex_);
    for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
      if (entry->first == request) {
        entries_.splice(entries_.begin(), entries_, entry);
        return entries_.front().second;
      }
    }
    return nullptr;
  }
  void Add(const FontRequest& request, std::shared_ptr<const Font> font) {
    std::lock_guard lock(mutex_);
    entries_.emplace_front(request, std::move(font));
    if (entries_.size() > kCachedFontCount) entries_.pop_back();
  }

 private:
  std::mutex mutex_;
  std::list<std::pair<FontRequest, std::shared_ptr<const Font>>> entries_;
};

FontCache& Cache() {
  static FontCache cache;
  return cache;
}

}  // namespace

FontRequest RequestFromLogFont(const LOGFONTW& log_font) { return RequestFrom(log_font); }
FontRequest RequestFromLogFont(const LOGFONTA& log_font) { return RequestFrom(log_font); }

FontFiles InstalledFontFiles() {
  return {LocateFontFile(FontStyle::kRegular), LocateFontFile(FontStyle::kBold)};
}

std::shared_ptr<const Font> OpenFontFile(const FontRequest& request, const FontFiles& files) {
  const auto& wanted = request.bold ? files.bold : files.regular;
  if (wanted) {
    if (auto font = FreeTypeFont::Open(request, *wanted, false)) return font;
  }
  // No usable bold face: embolden the regular one.
  if (request.bold && files.regular) {
    if (auto font = FreeTypeFont::Open(request, *files.regular, true)) return font;
  }
  return nullptr;
}

std::shared_ptr<const Font> MakeFixedMetricsFont(const FontRequest& request) {
  return std::make_shared<FixedMetricsFont>(request);
}

std::shared_ptr<const Font> RealizeFont(const FontRequest& request) {
  if (request.fixed_metrics) return MakeFixedMetricsFont(request);
  if (auto cached = Cache().Find(request)) return cached;
  auto font = OpenFontFile(request, InstalledFontFiles());
  if (!font) {
    NoteMissingFontsOnce();
    return MakeFixedMetricsFont(request);
  }
  Cache().Add(request, font);
  return font;
}

}  // namespace win::text
