// "Download from URL": fetches one file over HTTP with a single GET and hands its bytes back;
// the application opens them as an image. The transfer runs on the dialog's event loop, so the
// window stays live and Cancel or closing aborts it.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QPointer>
#include <QString>

#include <cstdint>

class QLabel;
class QLineEdit;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;
class CIconButton;

class CUrlDownloadDialog : public QDialog {
public:
    static constexpr int kStatusId = 1003;
    static constexpr int kUrlId = 1004;
    static constexpr int kMaxRedirects = 10;
    static constexpr int kBlockSize = 1024;

    explicit CUrlDownloadDialog(QWidget* parent = nullptr);
    ~CUrlDownloadDialog() override;

    // What the dialog hands back after OK.
    const QByteArray& Data() const { return m_data; }
    qint64 Size() const { return m_data.size(); }
    QString Url() const;
    void SetUrl(const QString& url);
    bool IsIdle() const { return m_bIdle; }
    QString ErrorText() const { return m_strError; }
    QString StatusText() const;

    // Limits; tests shorten them.
    void SetConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
    void SetTransferTimeout(int ms) { m_transferTimeoutMs = ms; }
    void SetMaxSize(qint64 bytes) { m_maxSize = bytes; }

    // "Download": starts the transfer (an empty URL does nothing).
    void OnDownload();

protected:
    void reject() override;  // Cancel, Esc and closing the window
    void closeEvent(QCloseEvent* e) override;

private:
    enum class Failure { None, Session, Connect, Request, Download };
    void SetStatus(const QString& text);
    void ReadBlocks();
    void OnFinished();
    void End(Failure failure, const QString& reason);
    void Abort();

    QLineEdit* m_pUrl = nullptr;
    QLabel* m_pStatus = nullptr;
    CIconButton* m_pDownload = nullptr;
    CIconButton* m_pCancel = nullptr;
    QNetworkAccessManager* m_pNetwork = nullptr;
    QPointer<QNetworkReply> m_pReply;
    QTimer* m_pConnectTimer = nullptr;

    QByteArray m_data;
    qint64 m_contentLength = 0;
    bool m_bIdle = true;
    bool m_bAbort = false;
    bool m_bConnected = false;
    QString m_strError;
    int m_connectTimeoutMs = 30000;
    int m_transferTimeoutMs = 60000;
    qint64 m_maxSize = qint64(512) << 20;
};
