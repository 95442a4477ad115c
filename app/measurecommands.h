// The "Measure" commands of an image document: each passes one menu code to the document's
// measurement object and, when the library takes it, switches the document to the Measure
// tool; also the scale line, the choice of the active calibration and the toolbar's delete.
#pragma once

#include <vector>

#include "platform/wintypes.h"

class CPelidorDoc;
class CCmdUI;

class CMeasureCommands {
public:
    enum Records { RecordTool, RecordItemSelection, RecordLock };
    enum Check { CheckItem, CheckSelection, CheckSelectionNow, CheckLock };
    struct Row {
        UINT id;
        int code;
        Records records;
        Check check;
        int checkValue;
    };
    static constexpr UINT kFirstCalibration = 33003;
    static constexpr int kCalibrationEntries = 6;

    static const std::vector<Row>& Table();
    static const Row* Find(UINT id);
    // Registers the commands with every document and the library's dialog hook; once is enough.
    static void Register();
    // A measure command on a document: the library's answer (0 = refused, nothing changed).
    static int Execute(CPelidorDoc& doc, const Row& row);
    static void Update(CPelidorDoc& doc, const Row& row, CCmdUI* ui);
    static void ToggleScaleLine(CPelidorDoc& doc);
    // Makes entry `index` of the active-calibration list active, inside the list only.
    static bool ChooseCalibration(CPelidorDoc& doc, int index);
};
