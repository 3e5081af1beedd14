#include "PdfContents.h"
#include "ViewerTestSupport.h"

#include "ui/PictureBox.h"
#include "viewer/FramePrinting.h"

#include <QDir>
#include <QFile>
#include <QPrintDialog>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

// Contact sheets printed as a person prints them (the question, the print dialog, the preview's
// Print) to a CUPS queue of the test's own: a private cupsd with its configuration, spool and
// socket in a temporary folder, and a cups-pdf queue that writes what it prints there.

namespace didev {
namespace {

using namespace didev::testing;

constexpr int kExclamation = 48;
const QString kQueue = QStringLiteral("Contact_Sheets");

class PrivateCups {
public:
    PrivateCups()
        : backend_(QStringLiteral("didev-test-%1").arg(getpid()))
    {
    }
    ~PrivateCups()
    {
        if (cupsd_.state() != QProcess::NotRunning) {
            cupsd_.terminate();
            cupsd_.waitForFinished(30000);
        }
        QFile::remove(backendConfig());
    }
    PrivateCups(const PrivateCups&) = delete;
    PrivateCups& operator=(const PrivateCups&) = delete;

    // Starts cupsd with one queue, the default; a description of what failed otherwise.
    QString start()
    {
        if (!root_.isValid())
            return QStringLiteral("no temporary folder");
        // The filters run as the print system's own user and must reach the spool.
        QFile::setPermissions(root_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        for (const char* folder : {"spool", "cache", "state", "log", "pdf"})
            QDir(root_.path()).mkpath(QString::fromLatin1(folder));
        write(QStringLiteral("cupsd.conf"), QStringLiteral(
            "Listen %1\nLogLevel warn\nBrowsing No\nWebInterface No\nErrorPolicy abort-job\n"
            "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
            "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n").arg(socket()));
        write(QStringLiteral("cups-files.conf"), QStringLiteral(
            "ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\nErrorLog %1/log/error_log\n"
            "AccessLog %1/log/access_log\nPageLog %1/log/page_log\nPrintcap %1/printcap\nSystemGroup root\n").arg(root_.path()));
        // cups-pdf reads its settings only from the system's folder, one file per backend name.
        QFile config(backendConfig());
        if (!config.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write ") + backendConfig();
        config.write(QStringLiteral("Out %1/pdf\nSpool %1/cups-pdf-spool\nLog %1/log\n").arg(root_.path()).toUtf8());
        config.close();

        cupsd_.setProcessChannelMode(QProcess::ForwardedChannels);
        cupsd_.start(QStringLiteral("cupsd"), {QStringLiteral("-f"), QStringLiteral("-c"), root_.filePath(QStringLiteral("cupsd.conf")),
            QStringLiteral("-s"), root_.filePath(QStringLiteral("cups-files.conf"))});
        if (!cupsd_.waitForStarted(30000))
            return QStringLiteral("cupsd did not start");
        qputenv("CUPS_SERVER", socket().toUtf8());
        // The socket appears before the scheduler answers on it.
        const bool answers = QTest::qWaitFor([this] {
            return cupsd_.state() != QProcess::Running
                || run(QStringLiteral("lpstat"), {QStringLiteral("-r")}).startsWith(QStringLiteral("scheduler is running"));
        }, 30000) && cupsd_.state() == QProcess::Running;
        if (!answers)
            return QStringLiteral("cupsd did not answer on %1; see %2").arg(socket(), root_.filePath(QStringLiteral("log/error_log")));
        if (!admin(QStringLiteral("lpadmin"), {QStringLiteral("-p"), kQueue, QStringLiteral("-E"), QStringLiteral("-v"),
                QStringLiteral("cups-pdf:/") + backend_, QStringLiteral("-P"), QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd")})
            || !admin(QStringLiteral("lpadmin"), {QStringLiteral("-d"), kQueue}))
            return QStringLiteral("lpadmin could not add the queue");
        return {};
    }

    QString socket() const { return root_.filePath(QStringLiteral("cups.sock")); }

    // Runs a CUPS client tool against this print system; true when it succeeded.
    static bool admin(const QString& tool, const QStringList& arguments)
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(tool, arguments);
        return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    static QString jobsNotCompleted() { return run(QStringLiteral("lpstat"), {QStringLiteral("-o"), kQueue}).trimmed(); }

    QStringList printed() const
    {
        QDir out(root_.filePath(QStringLiteral("pdf")));
        QStringList paths;
        for (const QString& name : out.entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name))
            paths.append(out.filePath(name));
        return paths;
    }

private:
    QString backendConfig() const { return QStringLiteral("/etc/cups/cups-pdf-%1.conf").arg(backend_); }
    void write(const QString& name, const QString& text) const
    {
        QFile file(root_.filePath(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(text.toUtf8());
    }

    QTemporaryDir root_;
    const QString backend_;
    QProcess cupsd_;
};

class PrintQueue : public ::testing::Test {
protected:
    TestModule owner;
    static void SetUpTestSuite()
    {
        if (geteuid() != 0 || !QFile::exists(QStringLiteral("/usr/lib/cups/backend/cups-pdf")))
            return;
        cups_ = new PrivateCups;
        failure_ = new QString(cups_->start());
    }
    static void TearDownTestSuite()
    {
        delete cups_;
        delete failure_;
        cups_ = nullptr;
    }

    void SetUp() override
    {
        if (!cups_)
            GTEST_SKIP() << "cups-pdf prints only for a print system run by root, with the package installed";
        ASSERT_TRUE(failure_->isEmpty()) << failure_->toStdString();
        ASSERT_TRUE(tmp_.isValid());
        fixTheScreen();
        resetModule();
        testModule().state().tmpPath = tmp_.path() + QLatin1Char('/');
        hidden_.setAutoSize(true);
        for (int16_t id = 1; id <= 4; ++id)
            storeFrame(id, 640, 480);
    }
    void TearDown() override { resetModule(); }

    // Prints all frames as a person does: Yes to the question, the queue chosen in the print
    // dialog, Print in the preview, OK to a notice if one comes. Returns how many print dialogs
    // opened.
    int printAll(bool notice = false)
    {
        InteractionSeam& seam = InteractionSeam::instance();
        seam.queueAnswer(ModalKind::Message, kYes);
        if (notice)
            seam.queueAnswer(ModalKind::Message, kOk);
        seam.queueAnswer(ModalKind::Print, kQueue);
        seam.queueAnswer(ModalKind::Preview, true);
        PrintDialogCounter counter;
        testModule().printer().printFrames(0, hidden_);
        return counter.shown;
    }

    struct PrintDialogCounter : QObject {
        PrintDialogCounter() { qApp->installEventFilter(this); }
        ~PrintDialogCounter() override { qApp->removeEventFilter(this); }
        bool eventFilter(QObject* object, QEvent* event) override
        {
            if (event->type() == QEvent::Show && qobject_cast<QPrintDialog*>(object))
                ++shown;
            return false;
        }
        int shown = 0;
    };

    static PrivateCups* cups_;
    static QString* failure_;
    QTemporaryDir tmp_;
    PictureBox hidden_;
};

PrivateCups* PrintQueue::cups_ = nullptr;
QString* PrintQueue::failure_ = nullptr;

TEST_F(PrintQueue, AContactSheetComesOutOfTheQueueOnceWithItsPagesAndPictures)
{
    EXPECT_EQ(printAll(), 1) << "the preview's Print asked for the printer again";
    QTRY_VERIFY_WITH_TIMEOUT(PrivateCups::jobsNotCompleted().isEmpty() && !cups_->printed().isEmpty(), 60000);
    ASSERT_EQ(cups_->printed().size(), 1);
    const QString pdf = cups_->printed().first();
    EXPECT_TRUE(run(QStringLiteral("pdfinfo"), {pdf}).contains(QStringLiteral("Frame Capture"))) << "the job's name";

    // Three 640 x 480 frames fill a page under the header, the fourth starts the next one. The
    // print system turns the text into outlines that carry no characters, so the pictures tell
    // the pages apart (the text of the pages is read in FramePrintingTest).
    const std::vector<PdfImage> images = imagesIn(pdf);
    ASSERT_EQ(images.size(), 4u);
    for (size_t i = 0; i < images.size(); ++i) {
        EXPECT_EQ(images[i].page, i < 3 ? 1 : 2);
        EXPECT_EQ(QSize(images[i].width, images[i].height), QSize(640, 480));
    }
    for (const QString& path : cups_->printed())
        QFile::remove(path);
}

TEST_F(PrintQueue, AStoppedOrRejectingQueueIsNamedAndNothingHangs)
{
    const struct {
        const char* fault;
        QString off, on;
        QString reason;
        QString message;
        bool waits;
    } cases[] = {
        {"a job lost in a stopped queue", QStringLiteral("cupsdisable"), QStringLiteral("cupsenable"),
            QStringLiteral("Paper jam"), QStringLiteral("The printer \"%1\" is stopped (Paper jam). The frames wait in its queue until it is started again."), true},
        {"a job sent to a queue that rejects it", QStringLiteral("cupsreject"), QStringLiteral("cupsaccept"),
            QStringLiteral("Out for repair"), QStringLiteral("The printer \"%1\" is not accepting jobs (Out for repair). Nothing was printed."), false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(PrivateCups::admin(c.off, {QStringLiteral("-r"), c.reason, kQueue})) << c.fault;
        printAll(true);
        const QList<ShownMessage> shown = InteractionSeam::instance().takeMessages();
        ASSERT_FALSE(shown.isEmpty()) << c.fault;
        EXPECT_EQ(shown.last().prompt.toStdString(), c.message.arg(kQueue).toStdString()) << c.fault;
        EXPECT_EQ(shown.last().style, kExclamation) << c.fault;
        EXPECT_EQ(PrivateCups::jobsNotCompleted().isEmpty(), !c.waits) << c.fault;

        // Started again, the queue prints what waited in it.
        ASSERT_TRUE(PrivateCups::admin(c.on, {kQueue})) << c.fault;
        if (c.waits)
            QTRY_VERIFY_WITH_TIMEOUT(PrivateCups::jobsNotCompleted().isEmpty() && cups_->printed().size() == 1, 60000);
        else
            EXPECT_TRUE(cups_->printed().isEmpty()) << c.fault;
        for (const QString& path : cups_->printed())
            QFile::remove(path);
    }
}

} // namespace
} // namespace didev
