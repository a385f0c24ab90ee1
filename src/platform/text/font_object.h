// Fonts as GDI objects: the logical font a handle stands for and the font it realises to.
#pragma once

#include <memory>

#include "platform/gdi/objects.h"
#include "platform/text/font.h"

namespace win::text {

class FontObject final : public gdi::GdiObject {
 public:
  explicit FontObject(const LOGFONTW& log_font);
  DWORD Type() const override { return OBJ_FONT; }
  // LOGFONTW for the wide form, LOGFONTA (face name as UTF-8 bytes) for the narrow form.
  int Describe(int size, void* buffer, bool wide) const override;

  const LOGFONTW log_font;
  const std::shared_ptr<const Font> font;
};

// The logical font of a stock font index (SYSTEM_FONT, DEFAULT_GUI_FONT, ...).
LOGFONTW StockLogFont(int stock_index);

// The realised font a font handle stands for: a created font, a stock font (also before the
// stock maker was installed) or, for anything else, the system font.
std::shared_ptr<const Font> FontOfHandle(HGDIOBJ font);

// Makes GetStockObject hand out FontObjects for the stock fonts. Runs at start-up; calling it
// again does nothing.
void InstallStockFonts();

}  // namespace win::text
