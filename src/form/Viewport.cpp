// The canvas viewport: picMain moves inside picContainer, 10 twips per scroll unit.

#include "form/Form.h"

#include "toolkit/Errors.h"

namespace {

constexpr int64_t kTwipsPerScrollUnit = 10;

// The canvas offset for a bar position, in 32-bit arithmetic: every Value a bar holds works.
float offsetFor(int32_t value) {
    const int64_t offset = -kTwipsPerScrollUnit * value;
    if (offset < INT32_MIN || offset > INT32_MAX) throw tk::overflowError();
    return static_cast<float>(offset);
}

}  // namespace

void frmQuiltwright::Form_Load() {
    picMain.setBorderStyle(0);
    picMain.setLeft(0);
    picMain.setTop(0);
}

void frmQuiltwright::HScr_Change() { picMain.setLeft(offsetFor(HScr.Value())); }

void frmQuiltwright::VScr_Change() { picMain.setTop(offsetFor(VScr.Value())); }

void frmQuiltwright::HScr_Scroll() { HScr_Change(); }

void frmQuiltwright::VScr_Scroll() { VScr_Change(); }
