#include "ui/profile.h"

#include <QDir>
#include <QFileInfo>

namespace {

std::string DefaultProfilePath() { return ConfigHome() + "/Quillory/Quillory.ini"; }

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace

CProfile::CProfile(const QString& path) : m_ini(path.isEmpty() ? DefaultProfilePath() : Utf8(path)) {
    // The folder also holds the single-instance lock, so it must exist before anything is saved.
    QDir().mkpath(QFileInfo(FileName()).absolutePath());
    // A missing file is an empty profile; a damaged one is read as far as it makes sense.
    m_ini.Load();
}

int CProfile::GetProfileInt(const QString& section, const QString& key, int def) const {
    std::string v;
    if (!m_ini.GetValue(Utf8(section), Utf8(key), v)) return def;
    bool ok = false;
    int n = QString::fromStdString(v).trimmed().toInt(&ok);
    return ok ? n : def;
}

QString CProfile::GetProfileString(const QString& section, const QString& key, const QString& def) const {
    std::string v;
    if (!m_ini.GetValue(Utf8(section), Utf8(key), v)) return def;
    return QString::fromUtf8(v.data(), static_cast<qsizetype>(v.size()));
}

QByteArray CProfile::GetProfileBinary(const QString& section, const QString& key) const {
    std::string v;
    if (!m_ini.GetValue(Utf8(section), Utf8(key), v)) return QByteArray();
    return QByteArray::fromBase64(QByteArray::fromStdString(v));
}

void CProfile::Set(const QString& section, const QString& key, const QString& value) {
    m_ini.SetValue(Utf8(section), Utf8(key), Utf8(value));
    m_ini.Save();
}

void CProfile::WriteProfileInt(const QString& section, const QString& key, int value) {
    Set(section, key, QString::number(value));
}

void CProfile::WriteProfileString(const QString& section, const QString& key, const QString& value) {
    Set(section, key, value);
}

void CProfile::WriteProfileBinary(const QString& section, const QString& key, const QByteArray& value) {
    Set(section, key, QString::fromLatin1(value.toBase64()));
}

bool CProfile::Flush() { return m_ini.Save(); }

QString CProfile::FileName() const { return QString::fromStdString(m_ini.Path()); }

QStringList CProfile::RecentFiles() const {
    QStringList out;
    for (int i = 1; i <= 9; i++) {
        QString f = GetProfileString("Recent File List", QString("File%1").arg(i));
        if (!f.isEmpty()) out << f;
    }
    return out;
}

void CProfile::AddRecentFile(const QString& path, int max) {
    QStringList list = RecentFiles();
    list.removeAll(path);
    list.prepend(path);
    while (list.size() > max) list.removeLast();
    for (int i = 1; i <= 9; i++)
        m_ini.SetValue("Recent File List", "File" + std::to_string(i), i <= list.size() ? Utf8(list[i - 1]) : "");
    m_ini.Save();
}
