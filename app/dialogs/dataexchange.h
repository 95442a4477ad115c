// Reads dialog edits into values on OK. The first value that does not parse or lies outside
// its range shows one standard message through the prompt service, takes the focus and fails
// the exchange; later reads are skipped so the user sees one message.
#pragma once

#include <QString>

#include "platform/wintypes.h"

class QLineEdit;
class QWidget;

class CDataExchange {
public:
    explicit CDataExchange(QWidget* dialog) : m_dialog(dialog) {}

    // Each stores the parsed value before the range check, so a caller sees what was typed.
    bool Int(QLineEdit* edit, int32_t& value, int32_t minimum, int32_t maximum);
    bool UInt(QLineEdit* edit, uint32_t& value, uint32_t minimum, uint32_t maximum);
    bool Byte(QLineEdit* edit, BYTE& value, BYTE minimum = 0, BYTE maximum = 255);
    bool Long(QLineEdit* edit, LONG& value, LONG minimum, LONG maximum);
    bool Float(QLineEdit* edit, float& value, float minimum, float maximum);

    bool Ok() const { return m_ok; }

    static QString IntegerMessage() { return "Please enter an integer."; }
    static QString NumberMessage() { return "Please enter a number."; }
    static QString IntegerRangeMessage(qint64 minimum, qint64 maximum);
    static QString NumberRangeMessage(double minimum, double maximum);

private:
    bool Integer(QLineEdit* edit, qint64& value, qint64 minimum, qint64 maximum, bool isUnsigned);
    bool Fail(QLineEdit* edit, const QString& message);

    QWidget* m_dialog;
    bool m_ok = true;
};
