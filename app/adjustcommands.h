// The document's point-operation and multi-image commands: Threshold, Colorize, Opacity,
// Light/Contrast/Gamma, Combine, FFT, Repair and Mix, with their dialogs and worker operations.
#pragma once

class CPelidorDoc;

// Adds the handlers, update rules and worker operations to every document; called once at start.
void RegisterAdjustCommands();
