// Automatic adding of printers: the driver for a printer found on USB (or named in the web
// interface's device list) by its IEEE-1284 device ID. The rule, documented in
// kelvra-printer-app(1): the ID's model (MDL or MODEL) is compared, ignoring case, runs of
// spaces and a trailing " Series", with each catalogue model's name; the ID may give the model
// with or without its maker in front, and when it names a maker (MFG or MANUFACTURER) that
// maker must be the model's. Only whole names match, so "R40" never matches "R40N".
#pragma once

#include <string_view>

struct ModelInfo;

// The catalogue model the device ID names, or nullptr.
const ModelInfo *MatchDeviceID(std::string_view deviceId);

// pappl_pr_autoadd_cb_t: the driver name, or nullptr; `data` is the AppContext.
const char *AutoAddCallback(const char *device_info, const char *device_uri, const char *device_id,
                            void *data);
