#include "app/urldownloaddialog.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include "ui/promptservice.h"
#include "controls/iconbutton.h"

namespace {
const char kDefaultUrl[] = "http://example.com/images/sample.jpg";
const char kSessionFailed[] = "cannot open internet session";
const char kConnectFailed[] = "cannot connect to remote server";
const char kRequestFailed[] = "Failed in call to HttpOpenRequest";
const char kDownloadFailed[] = "An error occurred while downloading the file";

bool IsProxyError(QNetworkReply::NetworkError e) {
    return e >= QNetworkReply::ProxyConnectionRefusedError && e <= QNetworkReply::UnknownProxyError;
}
bool IsConnectError(QNetworkReply::NetworkError e) {
    return e == QNetworkReply::ConnectionRefusedError || e == QNetworkReply::HostNotFoundError;
}
}  // namespace

CUrlDownloadDialog::CUrlDownloadDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("151");
    setWindowTitle("Download from URL");
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel("URL", this), 0, 0);
    m_pUrl = new QLineEdit(QString::fromLatin1(kDefaultUrl), this);
    m_pUrl->setObjectName(QString::number(kUrlId));
    m_pUrl->setMinimumWidth(320);
    grid->addWidget(m_pUrl, 0, 1);
    grid->addWidget(new QLabel("Status", this), 1, 0);
    m_pStatus = new QLabel(this);
    m_pStatus->setObjectName(QString::number(kStatusId));
    grid->addWidget(m_pStatus, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    m_pDownload = new CIconButton(this);
    m_pDownload->setObjectName("1");
    m_pDownload->setText("Download");
    m_pDownload->SetIcon(155);
    m_pDownload->setDefault(true);
    m_pCancel = new CIconButton(this);
    m_pCancel->setObjectName("2");
    m_pCancel->setText("Cancel");
    m_pCancel->SetIcon(154);
    buttons->addWidget(m_pDownload);
    buttons->addWidget(m_pCancel);
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(m_pDownload, &QPushButton::clicked, this, [this] { OnDownload(); });
    connect(m_pCancel, &QPushButton::clicked, this, [this] { reject(); });

    m_pConnectTimer = new QTimer(this);
    m_pConnectTimer->setSingleShot(true);
    connect(m_pConnectTimer, &QTimer::timeout, this, [this] {
        if (!m_pReply || m_bConnected) return;
        QNetworkReply* r = m_pReply;
        m_pReply = nullptr;
        r->disconnect(this);
        r->abort();
        r->deleteLater();
        End(Failure::Connect, "The connection timed out.");
    });
}

CUrlDownloadDialog::~CUrlDownloadDialog() {
    if (m_pReply) {
        m_pReply->disconnect(this);
        m_pReply->abort();
        delete m_pReply;
    }
}

QString CUrlDownloadDialog::Url() const { return m_pUrl->text(); }
void CUrlDownloadDialog::SetUrl(const QString& url) { m_pUrl->setText(url); }
QString CUrlDownloadDialog::StatusText() const { return m_pStatus->text(); }
void CUrlDownloadDialog::SetStatus(const QString& text) { m_pStatus->setText(text); }

void CUrlDownloadDialog::OnDownload() {
    if (!m_bIdle) return;
    const QString text = m_pUrl->text().trimmed();
    if (text.isEmpty()) return;
    m_pDownload->setEnabled(false);
    m_bIdle = false;
    m_bAbort = false;
    m_bConnected = false;
    m_data.clear();
    m_contentLength = 0;
    m_strError.clear();
    SetStatus("Connecting to site...");

    const QUrl url = QUrl::fromUserInput(text);
    if (!url.isValid() || url.host().isEmpty() || url.scheme().compare("http", Qt::CaseInsensitive) != 0) {
        End(Failure::Request, url.isValid() ? QString("The address is not an HTTP address with a server.")
                                            : url.errorString());
        return;
    }
    if (!m_pNetwork) {
        m_pNetwork = new QNetworkAccessManager(this);
        m_pNetwork->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, "Quillory");
    request.setRawHeader("Accept", "*/*");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setTransferTimeout(m_transferTimeoutMs);
    QNetworkReply* reply = m_pNetwork->get(request);
    m_pReply = reply;
    reply->setReadBufferSize(64 * 1024);
    m_pConnectTimer->start(m_connectTimeoutMs);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        if (!m_pReply) return;
        m_bConnected = true;
        m_pConnectTimer->stop();
        bool ok = false;
        const qint64 length = m_pReply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        m_contentLength = ok && length > 0 ? length : 0;
        if (m_contentLength > m_maxSize) {
            QNetworkReply* r = m_pReply;
            m_pReply = nullptr;
            r->disconnect(this);
            r->abort();
            r->deleteLater();
            End(Failure::Download, QString("The file is larger than %1 bytes.").arg(m_maxSize));
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, [this] { ReadBlocks(); });
    connect(reply, &QNetworkReply::finished, this, [this] { OnFinished(); });
}

void CUrlDownloadDialog::ReadBlocks() {
    if (!m_pReply) return;
    m_bConnected = true;
    m_pConnectTimer->stop();
    char block[kBlockSize];
    for (;;) {
        const qint64 n = m_pReply->read(block, kBlockSize);
        if (n <= 0) break;
        if (m_data.size() + n > m_maxSize) {
            QNetworkReply* r = m_pReply;
            m_pReply = nullptr;
            r->disconnect(this);
            r->abort();
            r->deleteLater();
            End(Failure::Download, QString("The file is larger than %1 bytes.").arg(m_maxSize));
            return;
        }
        m_data.append(block, static_cast<int>(n));
        SetStatus(QString("%1/%2").arg(static_cast<qint64>(m_data.size())).arg(m_contentLength));
        if (m_bAbort) return;
    }
}

void CUrlDownloadDialog::OnFinished() {
    QNetworkReply* reply = m_pReply;
    if (!reply) return;
    ReadBlocks();
    if (!m_pReply) return;  // ended while reading
    m_pReply = nullptr;
    m_pConnectTimer->stop();
    reply->deleteLater();
    if (m_bAbort) {
        End(Failure::None, QString());
        return;
    }
    const QNetworkReply::NetworkError error = reply->error();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (error != QNetworkReply::NoError && status == 0) {
        if (IsProxyError(error)) End(Failure::Session, reply->errorString());
        else if (IsConnectError(error) || (!m_bConnected && error == QNetworkReply::OperationCanceledError))
            End(Failure::Connect, reply->errorString());
        else End(Failure::Download, reply->errorString());
        return;
    }
    if (status < 200 || status > 299) {
        const QString phrase = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        End(Failure::Download, QString("The server answered %1 %2.").arg(status).arg(phrase).trimmed());
        return;
    }
    if (error != QNetworkReply::NoError) {
        End(Failure::Download, reply->errorString());
        return;
    }
    if (m_contentLength > 0 && m_data.size() != m_contentLength) {
        End(Failure::Download, QString("%1 of %2 bytes arrived.").arg(static_cast<qint64>(m_data.size())).arg(m_contentLength));
        return;
    }
    End(Failure::None, QString());
}

void CUrlDownloadDialog::End(Failure failure, const QString& reason) {
    m_bIdle = true;
    m_pDownload->setEnabled(true);
    if (m_bAbort) {
        // The aborted dialog closes: Cancel stays disabled as the abort left it.
        m_data.clear();
        QDialog::reject();
        return;
    }
    if (failure == Failure::None) {
        accept();
        return;
    }
    const char* text = failure == Failure::Session   ? kSessionFailed
                       : failure == Failure::Connect ? kConnectFailed
                       : failure == Failure::Request ? kRequestFailed
                                                     : kDownloadFailed;
    m_strError = QString::fromLatin1(text);
    if (!reason.isEmpty()) m_strError += "\n" + reason;
    m_data.clear();
    m_data.squeeze();
    CPromptService::Instance().MessageBox(this, m_strError, windowTitle(), MB_OK);
    QDialog::reject();
}

void CUrlDownloadDialog::Abort() {
    m_bAbort = true;
    m_pCancel->setEnabled(false);
    SetStatus("Aborting transfer...");
    if (QNetworkReply* r = m_pReply) {
        m_pReply = nullptr;
        m_pConnectTimer->stop();
        r->disconnect(this);
        r->abort();
        r->deleteLater();
    }
    End(Failure::None, QString());
}

void CUrlDownloadDialog::reject() {
    if (m_bIdle) {
        QDialog::reject();
        return;
    }
    Abort();
}

void CUrlDownloadDialog::closeEvent(QCloseEvent* e) {
    if (!m_bIdle) {
        e->ignore();
        Abort();
        return;
    }
    QDialog::closeEvent(e);
}
