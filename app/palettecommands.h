// The document's palette, options and place-text commands: their dialogs and what OK does.
#pragma once

// Adds the commands to every document (called once while the program starts).
void RegisterPaletteCommands();
