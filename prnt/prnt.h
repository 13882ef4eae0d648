// The printer operations the job loop calls. Each returns 1 when everything was sent and
// 0 when a step failed (its message then stands in front of prntLastError) or the
// platform value is not 1 (C), 2 (Z) or 3 (M).
#pragma once

#include "prnt/prnt_params.h"

#include <cstdint>

// Opens the job: PJL header and settings, then the job-level commands of the dialect.
int Prnt_StartDoc(GDI_START_DOC_PARAM *pStartDocParam, int platform, char **argv);
// Announces one page (paper, media, resolution, tray, copies, margins).
int Prnt_StartPage(GDI_START_PAGE_PARAM *pStartPageParam, int platform);
// Compresses the page bitmap and sends it framed for the dialect. BlankPage is the page
// number of an inserted blank page (platform Z reports it with a fixed coverage), else 0.
int Prnt_SendPage(GDI_SEND_PAGE_PARAM *pSendPageParam, int platform, int BlankPage);
// Closes a page (checksum, coverage and form feed on C; form feed on Z; block on M).
int Prnt_EndPage(GDI_END_PAGE_PARAM *pEndPageParam, int platform);
// Closes the job.
int Prnt_EndDoc(GDI_END_DOC_PARAM *pEndDocParam, int platform);
// Sends the machine-duplex frame of platform C when it is due for this page.
int SendMachineDuplexCmd(int pageNum, int bEndDoc);
// Sends the manual-duplex command between the two passes of a manual duplex job.
int SendManualDuplexCmd(int platform);

// Sends the two-byte separator 00 00 (nothing for the QV and Mirodel models).
int Insert00();

// Exchange two values in place (the job loop swaps widths and heights with them).
void SwapUINT(uint32_t *a, uint32_t *b);
void SwapUSHORT(uint16_t *a, uint16_t *b);
