#include "prnt/prnt.h"

#include "common/globals.h"
#include "common/last_error.h"
#include "common/model_groups.h"
#include "common/sink.h"

// Sends 00 00 between commands; the QV and Mirodel models take no separators.
int Insert00() {
    if (IsQVModel(gPPDFile) || IsMirodelModel(gPPDFile)) return 1;
    static const unsigned char kZeros[2] = {0, 0};
    if (SendDataToFile(kZeros, 2, 1) == 1) return 1;
    PrependLastError("Insert00() :: Send 00 00 to file Fail0 ==  \n");
    return 0;
}
