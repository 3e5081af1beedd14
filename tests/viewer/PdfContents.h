#pragma once

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <vector>

// What a printed PDF holds, read with poppler's tools.
namespace didev::testing {

inline QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// One page drawn at `dpi` by poppler, as a picture.
inline QImage renderedPage(const QString& pdf, int page, int dpi, const QString& folder)
{
    const QString prefix = QDir(folder).filePath(QStringLiteral("page%1").arg(page));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QString::number(page),
        QStringLiteral("-l"), QString::number(page), QStringLiteral("-singlefile"), QStringLiteral("-png"), pdf, prefix});
    return QImage(prefix + QStringLiteral(".png"));
}

// The text of each page, whitespace folded to single spaces.
inline QStringList pageTexts(const QString& pdf)
{
    QStringList pages = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")})
                            .split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    for (QString& page : pages)
        page = page.simplified();
    return pages;
}

// The whole numbers printed on a page, in reading order.
inline QList<int> numbersOn(const QString& page)
{
    QList<int> numbers;
    QRegularExpressionMatchIterator it = QRegularExpression(QStringLiteral("\\b(\\d+)\\b")).globalMatch(page);
    while (it.hasNext())
        numbers.append(it.next().captured(1).toInt());
    return numbers;
}

struct PdfImage {
    int page = 0;
    int width = 0;
    int height = 0;
    double ppiX = 0;
};

inline std::vector<PdfImage> imagesIn(const QString& pdf)
{
    std::vector<PdfImage> images;
    const QStringList lines = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split(QLatin1Char('\n'));
    for (const QString& line : lines.mid(2)) {
        const QStringList f = line.simplified().split(QLatin1Char(' '));
        if (f.size() >= 14 && f[2] == QLatin1String("image"))
            images.push_back({f[0].toInt(), f[3].toInt(), f[4].toInt(), f[12].toDouble()});
    }
    return images;
}

} // namespace didev::testing
