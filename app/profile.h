// The program's registry profile, kept as an INI file under $XDG_CONFIG_HOME/Quillory.
#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <memory>

class CProfile {
public:
    // An empty path means the standard location.
    explicit CProfile(const QString& path = QString());
    int GetProfileInt(const QString& section, const QString& key, int def) const;
    QString GetProfileString(const QString& section, const QString& key, const QString& def = QString()) const;
    QByteArray GetProfileBinary(const QString& section, const QString& key) const;
    void WriteProfileInt(const QString& section, const QString& key, int value);
    void WriteProfileString(const QString& section, const QString& key, const QString& value);
    void WriteProfileBinary(const QString& section, const QString& key, const QByteArray& value);
    void Flush();
    QString FileName() const;

    // The recent-file list (newest first).
    QStringList RecentFiles() const;
    void AddRecentFile(const QString& path, int max = 9);

private:
    std::unique_ptr<QSettings> m_settings;
};
