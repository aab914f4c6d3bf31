#include "drawing.h"

#include "form_parts.h"

namespace gui {

namespace {

COLORREF FromRgb(unsigned rgb) { return RGB((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff); }

}  // namespace

void PaintLines(HDC dc, const FormLayout& layout, UINT dpi) {
  for (const ControlLayout& control : layout.controls) {
    if (control.kind != ControlKind::Line) continue;
    const int top = FromTwips(control.place.top, dpi);
    const RECT line{FromTwips(control.place.left, dpi), top, FromTwips(control.place.left + control.place.width, dpi),
                    top + FromPixels(1, dpi)};
    FillRect(dc, &line,
             GetSysColorBrush(control.lineColour == LineColour::DarkShadow ? COLOR_3DDKSHADOW : COLOR_3DHILIGHT));
  }
}

void DrawBanner(HDC dc, const RECT& box, HICON icon, UINT dpi) {
  FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
  const RECT strip{0, 0, FromPixels(kBanner.width, dpi), FromPixels(kBanner.height, dpi)};
  FillRect(dc, &strip, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const RECT rule{strip.left, strip.bottom - FromPixels(1, dpi), strip.right, strip.bottom};
  SetDCBrushColor(dc, FromRgb(kBanner.ruleRgb));
  FillRect(dc, &rule, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  const int size = FromPixels(kBanner.iconSize, dpi);
  DrawIconEx(dc, FromPixels(kBanner.iconLeft, dpi), FromPixels(kBanner.iconTop, dpi), icon, size, size, 0, nullptr,
             DI_NORMAL);
}

}  // namespace gui
