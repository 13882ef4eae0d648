// The driver table and the driver callback: one driver per catalogue model, named after its PPD
// file ("kelvra-r18"), with the paper sizes, margins, resolutions, sides, paper sources, darkness
// levels and options of its catalogue row. No model data is written here.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

struct AppContext;
struct ModelInfo;

// The one media type of the printers.
inline constexpr const char *kPrinterMediaType = "stationery";

// Fills the context's driver table (names and descriptions) from the model catalogue.
void MakeDriverTable(AppContext &app);

// pappl_pr_create_cb_t: what a printer gets once PAPPL made it (its toner supply).
void PrinterCreated(pappl_printer_t *printer, void *data);

// pappl_pr_driver_cb_t; `cbdata` is the AppContext.
bool DriverCallback(pappl_system_t *system, const char *driver_name, const char *device_uri,
                    const char *device_id, pappl_pr_driver_data_t *data, ipp_t **attrs,
                    void *cbdata);

// Fills the driver data and attributes of `model`; false (with `why`) when PAPPL would reject
// a value (PAPPL 1.3.1 then keeps zeroed driver data and the printer fails its first job).
bool DescribeModel(const ModelInfo &model, pappl_pr_driver_data_t &data, ipp_t *attrs,
                   std::string &why);

// The PWG media names of the model's paper-table rows, each once, in table order.
std::vector<const char *> ModelMedia(const ModelInfo &model);
