#include "app/dialogs/decreasebpplogic.h"

#include <algorithm>

int CDecreaseBppLogic::MaxColors(int bits, bool limit, int typed) {
    const int full = TableSize(bits);
    return limit ? std::min(typed, full) : full;
}
