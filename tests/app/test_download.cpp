// Downloading a file over HTTP from a scripted server on 127.0.0.1.
#include <QApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <map>

#include "apptest.h"
#include "app/cmdids.h"
#include "app/mainframe.h"
#include "ui/commandrouter.h"
#include "app/pelidordoc.h"
#include "app/urldownloaddialog.h"
#include "controls/iconbutton.h"

namespace {
// Answers each request by its path with the bytes a script gives; an empty answer keeps the
// connection open without a word (a stalled server).
class ScriptedServer {
public:
    using Script = std::function<QByteArray(const QByteArray& path)>;
    explicit ScriptedServer(Script script) : m_script(std::move(script)) {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                auto* buffer = new QByteArray;
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
                    buffer->append(s->readAll());
                    const int end = buffer->indexOf("\r\n\r\n");
                    if (end < 0) return;
                    const QList<QByteArray> words = buffer->left(buffer->indexOf("\r\n")).split(' ');
                    requests << buffer->left(end);
                    buffer->clear();
                    const QByteArray answer = m_script(words.value(1));
                    if (answer.isEmpty()) return;
                    s->write(answer);
                    if (!answer.contains("Content-Length") || answer.contains("Connection: close")) s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, [s, buffer] {
                    delete buffer;
                    s->deleteLater();
                });
            }
        });
    }
    QString Url(const QString& path) const { return QString("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path); }
    QList<QByteArray> requests;

private:
    QTcpServer m_server;
    Script m_script;
};

QByteArray Answer(const QByteArray& status, const QByteArray& body, bool withLength = true, const QByteArray& extra = {}) {
    QByteArray a = "HTTP/1.1 " + status + "\r\n" + extra;
    if (withLength) a += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    else a += "Connection: close\r\n";
    return a + "\r\n" + body;
}

QByteArray BodyWithNuls(int n) {
    QByteArray b(n, '\0');
    for (int i = 0; i < n; i++) b[i] = static_cast<char>(i % 7 == 0 ? 0 : 'a' + i % 26);
    return b;
}

// Runs one download to its end and gives the dialog's result.
int Download(CUrlDownloadDialog& dlg, const QString& url, int limitMs = 10000) {
    dlg.SetUrl(url);
    dlg.OnDownload();
    PumpUntil([&] { return dlg.IsIdle(); }, limitMs);
    return dlg.result();
}

class DownloadTest : public ::testing::Test {
protected:
    FakePrompts prompts;
    PromptsInstalled installed{&prompts};
};
}  // namespace

TEST_F(DownloadTest, WholeBodiesArriveWithAndWithoutALengthNulsIncluded) {
    const QByteArray body = BodyWithNuls(5000);
    ScriptedServer server([&](const QByteArray& path) {
        if (path == "/len") return Answer("200 OK", body);
        if (path == "/nolen") return Answer("200 OK", body, false);
        if (path == "/moved") return Answer("302 Found", {}, true, "Location: /len\r\n");
        return Answer("404 Not Found", {});
    });
    {
        CUrlDownloadDialog dlg;
        EXPECT_EQ(Download(dlg, server.Url("/len")), QDialog::Accepted);
        EXPECT_EQ(dlg.Data(), body);
        EXPECT_EQ(dlg.StatusText(), "5000/5000");
    }
    {
        CUrlDownloadDialog dlg;
        EXPECT_EQ(Download(dlg, server.Url("/nolen")), QDialog::Accepted);
        EXPECT_EQ(dlg.Data(), body);
        EXPECT_EQ(dlg.StatusText(), "5000/0");
    }
    {
        CUrlDownloadDialog dlg;
        EXPECT_EQ(Download(dlg, server.Url("/moved")), QDialog::Accepted);
        EXPECT_EQ(dlg.Data(), body);
    }
    EXPECT_TRUE(prompts.messages.isEmpty());
    ASSERT_FALSE(server.requests.isEmpty());
    const QByteArray first = server.requests.first().toLower();
    EXPECT_TRUE(first.startsWith("get /len "));
    EXPECT_TRUE(first.contains("user-agent: quillory"));
    EXPECT_TRUE(first.contains("accept: */*"));
}

TEST_F(DownloadTest, EachFailureEndsWithItsTextAndAReason) {
    ScriptedServer server([](const QByteArray& path) {
        if (path == "/missing") return Answer("404 Not Found", "nothing here");
        if (path == "/short") return QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n") + QByteArray(50, 'x');
        if (path == "/loop") return Answer("302 Found", {}, true, "Location: /loop\r\n");
        if (path == "/stall") return QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
        return QByteArray();  // silent
    });
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 refusedPort = closed.serverPort();
    closed.close();

    struct Case {
        QString url;
        QString text;
        int transferMs;
    } cases[] = {
        {server.Url("/missing"), "An error occurred while downloading the file\nThe server answered 404 Not Found.", 60000},
        {server.Url("/short"), "An error occurred while downloading the file", 60000},
        {server.Url("/loop"), "An error occurred while downloading the file", 60000},
        {server.Url("/stall"), "An error occurred while downloading the file", 300},
        {QString("http://127.0.0.1:%1/x.jpg").arg(refusedPort), "cannot connect to remote server", 60000},
        {"ftp://127.0.0.1/x.jpg", "Failed in call to HttpOpenRequest", 60000},
        {"http:///x.jpg", "Failed in call to HttpOpenRequest", 60000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        prompts.messages.clear();
        CUrlDownloadDialog dlg;
        dlg.SetTransferTimeout(c.transferMs);
        EXPECT_EQ(Download(dlg, c.url), QDialog::Rejected);
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_TRUE(prompts.messages[0].startsWith(c.text)) << prompts.messages[0].toStdString();
        EXPECT_TRUE(prompts.messages[0].contains('\n')) << "a second line gives the reason";
        EXPECT_TRUE(dlg.Data().isEmpty());
    }
    {
        // A server that takes the connection but never answers: the connect time-out.
        prompts.messages.clear();
        CUrlDownloadDialog dlg;
        dlg.SetConnectTimeout(300);
        EXPECT_EQ(Download(dlg, server.Url("/silent")), QDialog::Rejected);
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_TRUE(prompts.messages[0].startsWith("cannot connect to remote server"));
    }
}

TEST_F(DownloadTest, TheSizeCapStopsDeclaredAndUndeclaredLengths) {
    const QByteArray body(5000, 'z');
    ScriptedServer server([&](const QByteArray& path) { return Answer("200 OK", body, path == "/len"); });
    for (const char* path : {"/len", "/nolen"}) {
        SCOPED_TRACE(path);
        prompts.messages.clear();
        CUrlDownloadDialog dlg;
        dlg.SetMaxSize(1000);
        EXPECT_EQ(Download(dlg, server.Url(path)), QDialog::Rejected);
        ASSERT_EQ(prompts.messages.size(), 1);
        EXPECT_TRUE(prompts.messages[0].startsWith("An error occurred while downloading the file\n"));
    }
}

TEST_F(DownloadTest, CancelOrCloseMidTransferAbortsWithoutAMessage) {
    ScriptedServer server([](const QByteArray&) { return QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789"); });
    for (bool viaClose : {false, true}) {
        CUrlDownloadDialog dlg;
        dlg.SetUrl(server.Url("/stall"));
        dlg.OnDownload();
        QTRY_COMPARE_WITH_TIMEOUT(dlg.StatusText(), QString("10/100"), 5000);
        if (viaClose) dlg.close();
        else dlg.findChild<CIconButton*>("2")->click();
        EXPECT_TRUE(dlg.IsIdle());
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_EQ(dlg.StatusText(), "Aborting transfer...");
        EXPECT_FALSE(dlg.findChild<CIconButton*>("2")->isEnabled());
        EXPECT_TRUE(dlg.Data().isEmpty());
    }
    EXPECT_TRUE(prompts.messages.isEmpty());
    // An empty address does nothing.
    CUrlDownloadDialog dlg;
    dlg.SetUrl("  ");
    dlg.OnDownload();
    EXPECT_TRUE(dlg.IsIdle());
    EXPECT_TRUE(dlg.StatusText().isEmpty());
}

TEST_F(AppTest, ADownloadedImageBecomesADocumentAndOtherBytesGiveTheLibrarysReason) {
    ASSERT_TRUE(Start());
    Pump(50);
    prompts.messages.clear();  // the start-up's camera search
    std::unique_ptr<PxImage> img(MakeImage(9, 5));
    const QString png = Path("d.png");
    ASSERT_TRUE(img->Save(png.toUtf8().constData(), PXIMAGE_FORMAT_PNG));
    QFile f(png);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ScriptedServer server([&](const QByteArray& path) {
        return Answer("200 OK", path == "/a.png" ? bytes : QByteArray("<html>no picture</html>"));
    });
    QString url;
    prompts.onDialog = [&](QDialog* d) {
        auto* dlg = dynamic_cast<CUrlDownloadDialog*>(d);
        return dlg ? Download(*dlg, url) : int(QDialog::Rejected);
    };
    const int before = app->DocTemplate()->Documents().size();
    url = server.Url("/a.png");
    app->MainFrame()->Router()->Execute(ID_FILE_DOWNLOADURL);
    ASSERT_EQ(app->DocTemplate()->Documents().size(), before + 1);
    auto* doc = dynamic_cast<CPelidorDoc*>(app->DocTemplate()->Documents().back());
    ASSERT_TRUE(doc && doc->GetImage());
    EXPECT_EQ(doc->GetImage()->GetWidth(), 9u);
    EXPECT_EQ(doc->GetImage()->GetHeight(), 5u);
    EXPECT_EQ(doc->GetImage()->GetPixelColor(3, 2).rgbRed, img->GetPixelColor(3, 2).rgbRed);
    EXPECT_TRUE(prompts.messages.isEmpty()) << prompts.messages.join('|').toStdString();

    url = server.Url("/page.html");
    app->MainFrame()->Router()->Execute(ID_FILE_DOWNLOADURL);
    EXPECT_EQ(app->DocTemplate()->Documents().size(), before + 1);
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_FALSE(prompts.messages[0].isEmpty());
}
