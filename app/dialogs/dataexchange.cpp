#include "app/dialogs/dataexchange.h"

#include <QLineEdit>

#include <cmath>

#include "ui/promptservice.h"

QString CDataExchange::IntegerRangeMessage(qint64 minimum, qint64 maximum) {
    return QString("Please enter an integer between %1 and %2.").arg(minimum).arg(maximum);
}

QString CDataExchange::NumberRangeMessage(double minimum, double maximum) {
    return QString("Please enter a number between %1 and %2.").arg(minimum).arg(maximum);
}

bool CDataExchange::Fail(QLineEdit* edit, const QString& message) {
    m_ok = false;
    CPromptService::Instance().MessageBox(m_dialog, message, "Quillory", MB_OK);
    if (edit) {
        edit->setFocus();
        edit->selectAll();
    }
    return false;
}

bool CDataExchange::Integer(QLineEdit* edit, qint64& value, qint64 minimum, qint64 maximum, bool isUnsigned) {
    bool parsed = false;
    const QString text = edit->text().trimmed();
    const qint64 v = text.toLongLong(&parsed);
    if (!parsed || (isUnsigned && text.startsWith('-'))) return Fail(edit, IntegerMessage());
    value = v;
    if (v < minimum || v > maximum) return Fail(edit, IntegerRangeMessage(minimum, maximum));
    return true;
}

bool CDataExchange::Int(QLineEdit* edit, int32_t& value, int32_t minimum, int32_t maximum) {
    if (!m_ok) return false;
    qint64 v = value;
    const bool ok = Integer(edit, v, minimum, maximum, false);
    if (v >= INT32_MIN && v <= INT32_MAX) value = static_cast<int32_t>(v);
    return ok;
}

bool CDataExchange::Long(QLineEdit* edit, LONG& value, LONG minimum, LONG maximum) {
    return Int(edit, value, minimum, maximum);
}

bool CDataExchange::UInt(QLineEdit* edit, uint32_t& value, uint32_t minimum, uint32_t maximum) {
    if (!m_ok) return false;
    qint64 v = value;
    const bool ok = Integer(edit, v, minimum, maximum, true);
    if (v >= 0 && v <= UINT32_MAX) value = static_cast<uint32_t>(v);
    return ok;
}

bool CDataExchange::Byte(QLineEdit* edit, BYTE& value, BYTE minimum, BYTE maximum) {
    if (!m_ok) return false;
    qint64 v = value;
    const bool ok = Integer(edit, v, minimum, maximum, true);
    if (v >= 0 && v <= 255) value = static_cast<BYTE>(v);
    return ok;
}

bool CDataExchange::Float(QLineEdit* edit, float& value, float minimum, float maximum) {
    if (!m_ok) return false;
    bool parsed = false;
    const double v = edit->text().trimmed().toDouble(&parsed);
    if (!parsed || !std::isfinite(v)) return Fail(edit, NumberMessage());
    value = static_cast<float>(v);
    if (v < minimum || v > maximum) return Fail(edit, NumberRangeMessage(minimum, maximum));
    return true;
}
