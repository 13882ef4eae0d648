// The options mapping: the IPP job ticket, with the printer's defaults, in the driver's terms,
// and the one function that fills a job's settings from it (the CUPS filter's equivalent is
// filter/cups_settings.cpp). Reading the ticket needs PAPPL; filling the settings does not.
#pragma once

#include <pappl/pappl.h>

#include <map>
#include <span>
#include <string>
#include <vector>

#include "common/job_settings.h"
#include "common/model_catalogue.h"
#include "common/option_catalogue.h"

// A keyword value of a vendor attribute and its text in the web interface (the option
// catalogue's texts).
struct KeywordValue {
    const char *keyword;
    const char *label;
};

// An option of the option catalogue offered as a vendor attribute, where the model offers it.
struct VendorOption {
    ModelOption option;
    const char *attr;  // the IPP attribute (its printer default is "<attr>-default")
    const char *label; // its text in the web interface
    const OptionDescriptor *descriptor;
};
// The catalogue's options that have a vendor attribute, in catalogue order.
std::span<const VendorOption> VendorOptions();

// The keyword values of a vendor option on `model`, the first being its default as in the
// model's PPD; empty for a boolean option.
std::vector<KeywordValue> VendorValues(const VendorOption &option, const ModelInfo &model);
// Every keyword value an option takes on some model (for the web texts).
std::vector<KeywordValue> AllVendorValues(const VendorOption &option);

// A paper source: its PWG media-source keyword and the PPD InputSlot choice it stands for (the
// option catalogue gives its tray code). The printers list every source but "auto",
// which PAPPL adds to media-source-supported itself.
struct MediaSource {
    const char *pwg;
    const char *ppdChoice;
};
std::span<const MediaSource> MediaSources();
// The sources a printer loads paper in (media-ready, the web media page): all but "auto".
std::span<const MediaSource> PrinterSources();

// Everything the job ticket and the printer decided for a job.
struct JobTicket {
    std::string media;  // PWG media size name
    std::string source; // PWG media-source
    pappl_sides_t sides = PAPPL_SIDES_ONE_SIDED;
    ipp_quality_t quality = IPP_QUALITY_NORMAL;
    int resolution = 0;          // printer-resolution named by the job (dpi), 0 when it names none
    int darknessConfigured = 50; // printer-darkness-configured, 0..100
    int printDarkness = 0;       // print-darkness of the job (or its default), -100..100
    int copies = 1;
    bool collate = true;                          // multiple-document-handling: collated copies
    pappl_scaling_t scaling = PAPPL_SCALING_AUTO; // print-scaling
    ipp_orient_t orientation = IPP_ORIENT_NONE;   // orientation-requested; none: page by page
    int mediaWidth = 0, mediaLength = 0;          // media-col size, hundredths of millimetres
    std::map<std::string, std::string> jobValues; // vendor attributes the job names
    std::map<std::string, std::string> printerDefaults; // their printer defaults
    JobIdentity identity;
};

// Reads the ticket of `job` from PAPPL's print options, the job's attributes and the printer's
// driver attributes (PAPPL 1.3.1 hands vendor defaults to no job by itself).
JobTicket ReadJobTicket(pappl_job_t *job, const pappl_pr_options_t &options);

// The resolution the pages print at: the job's printer-resolution when the model prints it,
// else 1200 dpi for print-quality high on models that print 1200 dpi, else 600 dpi.
int JobResolution(const ModelInfo &model, const JobTicket &ticket);

// The model's density level for printer-darkness-configured plus print-darkness: 50 is the
// model's normal level, 0 the lightest, 100 the darkest.
int DensityLevel(const DensityLevels &levels, int configured, int printDarkness);

// The command line for papplMainloop with what its submit sub-command gets wrong put right:
// "-n N" (PAPPL drops it: it reads "num-copies", which it never sends) becomes "-o copies=N",
// and a page-ranges of one page ("3", which PAPPL sends as 3 to the end) becomes "3-3". False
// (with `why`) for a copy count or page range PAPPL would drop or misread without a word:
// copies outside 1..9999, a list of ranges (the printers take one) or text that is no range.
bool FixSubmitArguments(std::vector<std::string> &args, std::string &why);

// Fills `s` (a fresh JobSettings) for a job of `model` with this ticket.
void FillJobSettings(JobSettings &s, const ModelInfo &model, const JobTicket &ticket);
