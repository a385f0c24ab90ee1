// Realised fonts: what a logical font becomes when text is measured or drawn with it. A realised
// font answers its metrics and, per character, an antialiased glyph (coverage bitmap plus
// advance). Realised fonts are shared, immutable from the outside and safe to use from several
// threads at once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/text/text_types.h"

namespace win::text {

// The face name that selects the fixed-metrics test font instead of DejaVu: every character has
// the same advance, and every visible character is a solid box, so layout tests never depend on
// glyph shapes. For a cell height H (from lfHeight as for any font, 16 for 0): ascent H - H/4,
// descent H/4, no leading, advance max(1, H/2); the box of a visible character covers the
// advance less one column (at least one column) over the full cell height; space and control
// characters are blank.
inline constexpr char kFixedMetricsFaceName[] = "Dashtune Fixed Metrics";

// The cell height used when a logical font asks for height 0.
constexpr int kDefaultCellHeight = 16;

struct FontMetrics {
  int height = 0;  // ascent + descent
  int ascent = 0;
  int descent = 0;
  int internal_leading = 0;
  int external_leading = 0;
  int average_char_width = 0;
  int max_char_width = 0;
  int weight = FW_NORMAL;
  bool italic = false;
  bool underline = false;
  int underline_offset = 0;  // first underline row, counted down from the baseline row
  int underline_thickness = 1;
};

// One rendered character. The bitmap's top-left pixel lies at (pen x + left, baseline - top),
// where the baseline is the row just below the ascent.
struct Glyph {
  int advance = 0;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> coverage;  // width * height bytes, 0 = clear, 255 = full
};

class Font {
 public:
  virtual ~Font() = default;
  const FontMetrics& GetMetrics() const { return metrics_; }
  // The glyph for a character; the reference stays valid as long as the font lives.
  virtual const Glyph& GetGlyph(char32_t character) const = 0;
  int Advance(char32_t character) const { return GetGlyph(character).advance; }
  // True for the fixed-metrics test font.
  virtual bool IsFixedMetrics() const { return false; }

 protected:
  explicit Font(const FontMetrics& metrics) : metrics_(metrics) {}

 private:
  FontMetrics metrics_;
};

// The attributes of a logical font that change the realised font.
struct FontRequest {
  int height = 0;  // lfHeight rules
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool fixed_metrics = false;
  bool operator==(const FontRequest&) const = default;
};

// Bold from FW_SEMIBOLD up; heights beyond 1024 pixels either way are clamped to 1024.
FontRequest RequestFromLogFont(const LOGFONTW& log_font);
FontRequest RequestFromLogFont(const LOGFONTA& log_font);

// The realised font for a request. Realised fonts are cached process-wide (the most recently
// used ones stay loaded). Never null: when the DejaVu files cannot be found, the fixed-metrics
// font stands in (and a note goes to stderr once).
std::shared_ptr<const Font> RealizeFont(const FontRequest& request);

// The font files behind the realised fonts.
struct FontFiles {
  std::optional<std::filesystem::path> regular;
  std::optional<std::filesystem::path> bold;
};
FontFiles InstalledFontFiles();

// Realises a request from the given files, bypassing the cache: the bold file for bold requests
// (the regular one emboldened when that fails). Answers nullptr when no file opens as a font.
std::shared_ptr<const Font> OpenFontFile(const FontRequest& request, const FontFiles& files);

// The fixed-metrics font for a request, whatever its face.
std::shared_ptr<const Font> MakeFixedMetricsFont(const FontRequest& request);

}  // namespace win::text
