#include "app/profile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

CProfile::CProfile(const QString& path) {
    QString file = path;
    if (file.isEmpty()) {
        QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (base.isEmpty()) base = QDir::homePath() + "/.config";
        file = base + "/Quillory/Quillory.ini";
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    // QSettings writes through a temporary file and renames it, so a crash never leaves half a profile.
    m_settings = std::make_unique<QSettings>(file, QSettings::IniFormat);
}

int CProfile::GetProfileInt(const QString& section, const QString& key, int def) const {
    bool ok = false;
    int v = m_settings->value(section + "/" + key).toInt(&ok);
    return ok ? v : def;
}

QString CProfile::GetProfileString(const QString& section, const QString& key, const QString& def) const {
    QVariant v = m_settings->value(section + "/" + key);
    return v.isValid() ? v.toString() : def;
}

QByteArray CProfile::GetProfileBinary(const QString& section, const QString& key) const {
    return QByteArray::fromBase64(m_settings->value(section + "/" + key).toByteArray());
}

void CProfile::WriteProfileInt(const QString& section, const QString& key, int value) {
    m_settings->setValue(section + "/" + key, value);
}

void CProfile::WriteProfileString(const QString& section, const QString& key, const QString& value) {
    m_settings->setValue(section + "/" + key, value);
}

void CProfile::WriteProfileBinary(const QString& section, const QString& key, const QByteArray& value) {
    m_settings->setValue(section + "/" + key, QString::fromLatin1(value.toBase64()));
}

void CProfile::Flush() { m_settings->sync(); }
QString CProfile::FileName() const { return m_settings->fileName(); }

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
        m_settings->setValue(QString("Recent File List/File%1").arg(i), i <= list.size() ? list[i - 1] : QString());
}
