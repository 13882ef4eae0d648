#include "prnt/fixed_commands.h"

const char abortCmd[] = "\x0B\x04\x16\xDB";
const char resetCmd[] = "\x0B\x04\x17\xDA";
const char formFeedCmd[] = "\x0B\x04\x18\xD9";
const char queryStatusCmd[] = "\x0B\x05\x31\x80\x3F";
const char hostUseCmd[] = "\x0B\x04\x32\xBF";
const char machineDuplexCmd[] = "\x0B\x04\x40\xB1";
const char manualDuplexCmd_C[] = "\x0B\x04\x30\xC1";
const char manualDuplexCmd_Z[] = "\x0B\x04\x1B\xD6";

const char UEL_CMD[] = "\x1B%-12345X";
const char UEL_CMD_C[] = "\x1B\xFF-12345X";
const char PJLheader[] = "\x1B%-12345X@PJL\r\n";
const char pjlVersion[] = "@PJL LANGUAGEVERSION=1.0\r\n";
const char fwVer[] = "versions=3.1.2.1";
const char pjlPreSendTime[] = "@PJL JOBTIME=";
const char pjlPreComputerName[] = "@PJL JOBOWNER=";
const char CRLF[] = "\r\n";
const char pjlCmd[] = "@PJL ENTER LANGUAGE=PL\r\n";
const char CMD_PJL_MANUAL_FEED_ON[] = "@PJL SET MANUALFEED=ON\n";
const char CMD_PJL_SKIP_BLANK_PAGES_ENABLE[] = "@PJL SET BLANKSUPPRESS=ENABLE\n";
const char CMD_PJL_SKIP_BLANK_PAGES_DISABLE[] = "@PJL SET BLANKSUPPRESS=DISABLE\n";
const char endOfJobCmd[] = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X\r\n";
const char endOfJobCmdR82[] = "\x1B%-12345X@PJL\r\n@PJL EOJ\r\n\x1B%-12345X";
const char pjlJZJZ_R80[] = "JZJZ";

const char CMD_PJL_PINPRINT_JOBOWNER[] = "@PJL SET JOBOWNER=\"%s\"\n";
const char CMD_PJL_PINPRINT_USRNAME[] = "@PJL SET USERNAME=\"%s\"\n";
const char CMD_PJL_PINPRINT_JOBNAME[] = "@PJL SET JOBNAME=\"%s\"\n";
const char CMD_PJL_PINPRINT_PINJOBNAME[] = "@PJL SET PINJOBNAME=\"%s\"\n";
const char CMD_PJL_PINPRINT_JOBPASSWD[] = "@PJL SET JOBPASSWORD=\"%s\"\n";
