#include "core/params/ParameterTransfer.h"

#include "core/Globals.h"

namespace hx {

TransferLink TransferLink::FromGlobals() {
    return TransferLink{&theComm, &theParameterTable, g_station, g_firmwareVersion};
}

}  // namespace hx
