// The program's command table: the row of a command id (menu text, tip, toolbar icon).
#pragma once

#include "ui/commandrouter.h"

const CommandInfo* FindCommandInfo(UINT id);
