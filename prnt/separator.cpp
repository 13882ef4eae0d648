#include "prnt/prnt.h"

#include "prnt/send_step.h"

// Sends 00 00 between commands; the QV and Mirodel models take no separators.
int Insert00(PrntStream &stream) {
    if (IsLibraryGroup(stream.settings)) return 1;
    static constexpr unsigned char kZeros[2] = {0, 0};
    if (stream.sink.Send(kZeros, 2, 1) == 1) return 1;
    stream.error.Prepend("Insert00() :: Send 00 00 to file Fail0 ==  \n");
    return 0;
}
