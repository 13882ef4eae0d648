#include "app/drivers.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string_view>

#include "app/app_context.h"
#include "app/dialect.h"
#include "app/document_formats.h"
#include "app/job_options.h"
#include "app/raster_job.h"
#include "app/test_page.h"
#include "common/model_catalogue.h"

namespace {

constexpr int kPagesPerMinute = 20; // the PPDs' Throughput
constexpr int kLevelUnknown = -2;   // marker-levels: "unknown"

// Hundredths of a millimetre in `dots` at 600 dpi, rounded up.
int DotsToHmm(long dots) {
    return static_cast<int>((dots * 2540 + 599) / 600);
}

// The largest margins of the model's paper-table rows: each row's bitmap is centred across the
// 600-dpi raster line and starts at its top line, so what is left of the page is margin (the
// PPDs' imageable areas come from the same rows). PAPPL takes one margin for every size.
void Margins(const ModelInfo &model, int &leftRight, int &bottomTop) {
    leftRight = bottomTop = 0;
    const PAPER_SIZE_INFO *rows = model.PaperRows();
    for (int i = 0; rows[i].cupsPaperW != -1; ++i) {
        const long lineDots = (50L * rows[i].cupsPaperW + 3) / 6;
        const long pageDots = (50L * rows[i].cupsPaperH + 3) / 6;
        leftRight = std::max(leftRight, DotsToHmm((lineDots - rows[i].fwPaperW + 1) / 2));
        bottomTop = std::max(bottomTop, DotsToHmm(pageDots - rows[i].fwPaperH));
    }
}

// A media-col of `name` on `source` with the driver's margins.
bool MediaCol(pappl_media_col_t &col, const char *name, const char *source, int leftRight,
              int bottomTop) {
    const pwg_media_t *pwg = pwgMediaForPWG(name);
    if (pwg == nullptr) return false;
    col = pappl_media_col_t{};
    col.left_margin = col.right_margin = leftRight;
    col.bottom_margin = col.top_margin = bottomTop;
    col.size_width = pwg->width;
    col.size_length = pwg->length;
    std::snprintf(col.size_name, sizeof col.size_name, "%s", name);
    std::snprintf(col.source, sizeof col.source, "%s", source);
    std::snprintf(col.type, sizeof col.type, "%s", kPrinterMediaType);
    return true;
}

// The vendor attributes of the options the model offers, with their supported values and
// defaults (the PPDs' defaults: off, "printer-setting" for blank pages, "auto" for the feed
// edge of the models that pick it by paper size).
void AddVendorAttributes(const ModelInfo &model, pappl_pr_driver_data_t &data, ipp_t *attrs) {
    for (const VendorOption &v : VendorOptions()) {
        if (!model.Offers(v.option) || data.num_vendor >= PAPPL_MAX_VENDOR) continue;
        data.vendor[data.num_vendor++] = v.attr;
        const std::string supported = std::string(v.attr) + "-supported";
        const std::string defaultName = std::string(v.attr) + "-default";
        if (const std::vector<KeywordValue> keywords = VendorValues(v, model); !keywords.empty()) {
            std::vector<const char *> values;
            for (const KeywordValue &k : keywords)
                values.push_back(k.keyword);
            ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD), supported.c_str(),
                          static_cast<int>(values.size()), nullptr, values.data());
            ippAddString(attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD),
                         defaultName.c_str(), nullptr, values[0]);
        } else {
            ippAddBoolean(attrs, IPP_TAG_PRINTER, supported.c_str(), 1);
            ippAddBoolean(attrs, IPP_TAG_PRINTER, defaultName.c_str(), 0);
        }
    }
}

// The PWG name of a custom size limit ("custom_min_3x5in"). PAPPL keeps the driver data's
// pointers, so the names live as long as the server.
const char *CustomSizeName(const char *limit, int widthPoints, int lengthPoints) {
    static std::mutex mutex;
    static std::set<std::string> names;
    char name[64];
    pwgFormatSizeName(name, sizeof name, "custom", limit, (widthPoints * 2540 + 36) / 72,
                      (lengthPoints * 2540 + 36) / 72, nullptr);
    const std::lock_guard<std::mutex> lock(mutex);
    return names.insert(name).first->c_str();
}

// Frees the printer's extension with the printer.
void DeleteExtension(pappl_printer_t *, pappl_pr_driver_data_t *data) {
    delete static_cast<PrinterExtension *>(data->extension);
    data->extension = nullptr;
}

} // namespace

// The printers' one supply, the black toner: the device streams carry no status back, so its
// level is unknown (-2). Set when the printer is made, so that its supplies page lists it.
void PrinterCreated(pappl_printer_t *printer, void *) {
    pappl_supply_t toner{PAPPL_SUPPLY_COLOR_BLACK, "Black Toner", true, kLevelUnknown,
                         PAPPL_SUPPLY_TYPE_TONER};
    papplPrinterSetSupplies(printer, 1, &toner);
}

void MakeDriverTable(AppContext &app) {
    const auto models = AllModels();
    app.driverNames.clear();
    app.driverNames.reserve(models.size());
    for (const ModelInfo &m : models)
        app.driverNames.emplace_back(m.DriverName());
    app.drivers.clear();
    for (std::size_t i = 0; i < models.size(); ++i)
        app.drivers.push_back(
            pappl_pr_driver_t{app.driverNames[i].c_str(), models[i].modelName, nullptr, nullptr});
}

std::vector<const char *> ModelMedia(const ModelInfo &model) {
    std::vector<const char *> names;
    const PAPER_SIZE_INFO *rows = model.PaperRows();
    for (int i = 0; rows[i].cupsPaperW != -1; ++i) {
        const char *name = PwgMediaOfRow(rows[i]);
        if (name == nullptr) continue;
        if (std::none_of(names.begin(), names.end(),
                         [&](const char *n) { return std::strcmp(n, name) == 0; }))
            names.push_back(name);
    }
    return names;
}

bool DescribeModel(const ModelInfo &model, pappl_pr_driver_data_t &data, ipp_t *attrs,
                   std::string &why) {
    data.rstartjob_cb = RasterStartJob;
    data.rstartpage_cb = RasterStartPage;
    data.rwriteline_cb = RasterWriteLine;
    data.rendpage_cb = RasterEndPage;
    data.rendjob_cb = RasterEndJob;
    data.has_supplies = true; // PAPPL serves the supplies page only then
    data.testpage_cb = TestPageCallback;
    std::snprintf(data.make_and_model, sizeof data.make_and_model, "%s", model.modelName);
    data.ppm = kPagesPerMinute;
    data.kind = PAPPL_KIND_DOCUMENT | PAPPL_KIND_ENVELOPE | PAPPL_KIND_POSTCARD;
    data.orient_default = IPP_ORIENT_PORTRAIT;
    data.color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_MONOCHROME;
    data.color_default = PAPPL_COLOR_MODE_MONOCHROME;
    data.content_default = PAPPL_CONTENT_AUTO;
    data.quality_default = IPP_QUALITY_NORMAL;
    data.scaling_default = PAPPL_SCALING_AUTO;
    // 8-bit grey only: the driver halftones with its own screens or the colour library.
    data.raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    data.force_raster_type = PAPPL_PWG_RASTER_TYPE_NONE;
    // PAPPL refuses a streamed page of more than 8 bits per pixel unless the printer takes
    // colour: RGB raster is printed as its luminance.
    data.color_supported |= PAPPL_COLOR_MODE_COLOR;
    data.format = kDriverFormat;

    const DialectTraits dialect = DialectOf(model);
    data.duplex = dialect.duplex;
    data.sides_supported = dialect.sides;
    data.sides_default = PAPPL_SIDES_ONE_SIDED;

    data.num_resolution = 0;
    for (int dpi : {600, 1200}) {
        if (dpi == 1200 && !model.prints1200dpi) continue;
        data.x_resolution[data.num_resolution] = data.y_resolution[data.num_resolution] = dpi;
        ++data.num_resolution;
    }
    data.x_default = data.y_default = 600;

    Margins(model, data.left_right, data.bottom_top);
    const std::vector<const char *> media = ModelMedia(model);
    if (media.empty() || media.size() > PAPPL_MAX_MEDIA) {
        why = "no paper sizes or too many";
        return false;
    }
    data.num_media = 0;
    for (const char *name : media) {
        if (pwgMediaForPWG(name) == nullptr) {
            why = std::string("PAPPL does not know the media name ") + name;
            return false;
        }
        data.media[data.num_media++] = name;
    }
    if (data.num_media + 2 <= PAPPL_MAX_MEDIA) {
        data.media[data.num_media++] = CustomSizeName("min", kCustomMinWidth, kCustomMinLength);
        data.media[data.num_media++] = CustomSizeName("max", model.maxWidth, model.maxLength);
    }
    // PAPPL adds "auto" to the sources itself; a job that names no source and no loaded size
    // prints from "auto", the PPDs' default.
    data.num_source = 0;
    for (const MediaSource &source : PrinterSources()) {
        if (!MediaCol(data.media_ready[data.num_source], model.defaultMedia, source.pwg,
                      data.left_right, data.bottom_top)) {
            why = std::string("bad default media ") + model.defaultMedia;
            return false;
        }
        data.source[data.num_source++] = source.pwg;
    }
    data.media_default = data.media_ready[0];
    std::snprintf(data.media_default.source, sizeof data.media_default.source, "auto");
    data.num_type = 1;
    data.type[0] = kPrinterMediaType;

    const DensityLevels &d = model.density;
    data.darkness_supported = d.darkest - d.lightest + 1;
    data.darkness_configured = 50;
    data.darkness_default = 0;

    data.identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    data.identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
    AddVendorAttributes(model, data, attrs);

    ippAddString(attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD),
                 "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD),
                 "print-rendering-intent-default", nullptr, "auto");
    ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    return true;
}

// PAPPL keeps a printer whose driver data it rejects, so the data is checked here first.
bool DriverCallback(pappl_system_t *system, const char *driver_name, const char *, const char *,
                    pappl_pr_driver_data_t *data, ipp_t **attrs, void *cbdata) {
    const ModelInfo *model = FindModelByDriver(driver_name ? driver_name : "");
    if (model == nullptr || data == nullptr || attrs == nullptr) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "Unknown driver '%s'.",
                 driver_name ? driver_name : "");
        return false;
    }
    *attrs = ippNew();
    std::string why;
    if (!DescribeModel(*model, *data, *attrs, why)) {
        papplLog(system, PAPPL_LOGLEVEL_ERROR, "Driver '%s' has bad data: %s", driver_name,
                 why.c_str());
        ippDelete(*attrs);
        *attrs = nullptr;
        return false;
    }
    data->extension =
        new PrinterExtension{model, static_cast<const AppContext *>(cbdata), {}, {}, {}};
    data->delete_cb = DeleteExtension;
    data->identify_cb = [](pappl_printer_t *printer, pappl_identify_actions_t,
                           const char *message) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s",
                        message ? message : "");
    };
    return true;
}
