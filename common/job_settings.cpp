#include "common/job_settings.h"

#include "common/model_catalogue.h"

void ApplyModel(JobSettings &s, const ModelInfo &model) {
    s.platform = model.platform;
    s.paperTable = model.PaperRows();
    s.group = model.group;
    s.engine = model.engine;
    s.newScreens = model.screens == HalftoneScreens::Supercell96;
}

void ResolveBitDepth(JobSettings &s, bool wants1200) {
    if (s.group == ModelGroup::QV) {
        s.is1200dpi = wants1200;
        s.colorBits = wants1200 ? 1 : 2;
    } else if (s.group == ModelGroup::Mirodel) {
        s.is1200dpi = false;
        s.colorBits = wants1200 ? 2 : 1;
    } else {
        s.is1200dpi = false;
        s.colorBits = 1;
    }
    const bool dpi1200Option = s.options[DPI1200].value == 1;
    s.screenBits = s.platform == PLATFORM_M && dpi1200Option ? 2 : 1;
    if (s.group == ModelGroup::QV)
        s.twoBitPages = !s.is1200dpi;
    else if (s.group == ModelGroup::Mirodel)
        s.twoBitPages = s.colorBits == 2;
    else
        s.twoBitPages = s.platform == PLATFORM_M && dpi1200Option;
}
