// The program's registry profile, kept as an INI file under $XDG_CONFIG_HOME/Quillory. Section and
// key names compare without regard to case, as the Windows profile calls do; every write is saved
// at once, atomically, so nothing written is lost if the program stops.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/inifile.h"

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
    // Writes go to disk as they are made; kept for callers that flush at the end of a batch.
    bool Flush();
    QString FileName() const;

    // The recent-file list (newest first).
    QStringList RecentFiles() const;
    void AddRecentFile(const QString& path, int max = 9);

private:
    void Set(const QString& section, const QString& key, const QString& value);

    IniFile m_ini;
};
