#include "common/job_settings.h"

#include "common/model_catalogue.h"

void ApplyModel(JobSettings &s, const ModelInfo &model) {
    s.platform = model.platform;
    s.paperTable = model.PaperRows();
    s.group = model.group;
    s.engine = model.engine;
    s.newScreens = model.screens == HalftoneScreens::Supercell96;
}

// The group's bit-depth rule; the driver's own screens give 2 bits where the platform's screen
// does with the 1200-dpi option.
void ResolveBitDepth(JobSettings &s, bool wants1200) {
    const GroupTraits &group = TraitsOf(s.group);
    s.is1200dpi = group.quality1200Raster && wants1200;
    s.colorBits = wants1200 ? group.bitsWith1200 : group.bitsWithout1200;
    const bool dpi1200Option = s.options.quality == Quality::Dpi1200;
    s.screenBits = ScreenOf(s.platform, s.newScreens, dpi1200Option).bits;
    s.twoBitPages = group.libraryHalftones ? s.colorBits == 2 : s.screenBits == 2;
}
