#include "common/modbus_protocol.h"

namespace korvel {

const SubFunctionInfo* FindSubFunction(uint8_t code)
{
    for (const SubFunctionInfo& row : kSubFunctions) {
        if (row.code == code)
            return &row;
    }
    return nullptr;
}

const char* ExceptionName(uint8_t code)
{
    for (const ExceptionInfo& row : kExceptions) {
        if (row.code == code)
            return row.name;
    }
    return nullptr;
}

} // namespace korvel
