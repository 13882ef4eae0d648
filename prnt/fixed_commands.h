// Fixed frames and text strings of the job stream. Each is sent with the length of its
// text (up to its terminating zero, which is never sent).
#pragma once

// Fixed short frames.
extern const char abortCmd[];          // 0B 04 16 DB
extern const char resetCmd[];          // 0B 04 17 DA
extern const char formFeedCmd[];       // 0B 04 18 D9
extern const char queryStatusCmd[];    // 0B 05 31 80 3F
extern const char hostUseCmd[];        // 0B 04 32 BF
extern const char machineDuplexCmd[];  // 0B 04 40 B1
extern const char manualDuplexCmd_C[]; // 0B 04 30 C1
extern const char manualDuplexCmd_Z[]; // 0B 04 1B D6

// Fixed texts (ESC = 0x1B).
extern const char UEL_CMD[];            // ESC "%-12345X"
extern const char UEL_CMD_C[];          // ESC 0xFF "-12345X"
extern const char PJLheader[];          // ESC "%-12345X@PJL" CR LF
extern const char pjlVersion[];         // "@PJL LANGUAGEVERSION=1.0" CR LF
extern const char fwVer[];              // "versions=3.1.2.1"
extern const char pjlPreSendTime[];     // "@PJL JOBTIME="
extern const char pjlPreComputerName[]; // "@PJL JOBOWNER="
extern const char CRLF[];
extern const char pjlCmd[]; // "@PJL ENTER LANGUAGE=PL" CR LF
extern const char CMD_PJL_MANUAL_FEED_ON[];
extern const char CMD_PJL_SKIP_BLANK_PAGES_ENABLE[];
extern const char CMD_PJL_SKIP_BLANK_PAGES_DISABLE[];
extern const char endOfJobCmd[];    // 36 bytes, ends in CR LF
extern const char endOfJobCmdR82[]; // 34 bytes, endOfJobCmd without the final CR LF
extern const char pjlJZJZ_R80[];    // "JZJZ"

// Locked-print ticket line templates (one %s each, line feed only).
extern const char CMD_PJL_PINPRINT_JOBOWNER[];
extern const char CMD_PJL_PINPRINT_USRNAME[];
extern const char CMD_PJL_PINPRINT_JOBNAME[];
extern const char CMD_PJL_PINPRINT_PINJOBNAME[];
extern const char CMD_PJL_PINPRINT_JOBPASSWD[];

// Sizes of the JOBTIME text buffer and of the host-name buffer of the JOBOWNER line.
constexpr int kSendTimeSize = 19;
constexpr int kComputerNameSize = 33;
