#include "common/globals.h"

char gPPDFile[kModelNameSize];
int g_page = 0;
volatile sig_atomic_t Canceled = 0;
volatile sig_atomic_t g_ismiddlepage = 0;
int BlankSuppressflag = 0;
bool is1200dpi = false;
int Color_bit = 1;
int iSupportManDuplex = 0;
int IsManDuplex = 0;

int gSendDataToDevice = 1;
int gTempDataFile = 0;
int gCollateFile = 0;
int gManualDuplexOddFile = 0;
int gManualDuplexEvenFile = 0;

uint64_t gImageCoverage = 0;
uint64_t gImageChecksum = 0;
unsigned char *gpCompImgData = nullptr;
int gJbigCompressDataLen = 0;
size_t gCompImgDataCap = 0;

char prntLastError[kLastErrorSize];
