// Turns the user's guide (Markdown) into one HTML page that any browser opens, for installing
// next to its pictures. Usage: guide_html <guide.md> <guide.html>
#include <QFile>
#include <QGuiApplication>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char* argv[]) {
    // No screen is needed to lay out a document.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: guide_html <guide.md> <guide.html>\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "guide_html: %s: %s\n", argv[1], in.errorString().toLocal8Bit().constData());
        return 1;
    }
    QTextDocument doc;
    doc.setMarkdown(QString::fromUtf8(in.readAll()));
    doc.setMetaInformation(QTextDocument::DocumentTitle, QStringLiteral("Mirelo 利用の手引き / User's guide"));
    QString html = doc.toHtml();
    // Qt writes no character set; a browser must not guess one for the Japanese text.
    html.replace(QStringLiteral("<head>"), QStringLiteral("<head><meta charset=\"utf-8\">"));
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(html.toUtf8()) < 0 || !out.flush()) {
        std::fprintf(stderr, "guide_html: %s: %s\n", argv[2], out.errorString().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
