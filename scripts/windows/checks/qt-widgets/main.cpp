// qt-check: a main window with a menu and a line edit, reporting on standard output.
// On the offscreen platform it draws its window into an image (saved to the path given as
// argument, if any) and reports how many dark pixels the text left there, then ends. On any other
// platform it shows the window and ends when Return is pressed in the line edit, printing what was
// typed. It gives up after 30 seconds.

#include <QApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>

#include <cstdio>

namespace {

void Say(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

int DarkPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qGray(image.pixel(x, y)) < 96 ? 1 : 0;
        }
    }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    Say(QStringLiteral("platform: %1").arg(QApplication::platformName()));
    Say(QStringLiteral("font families: %1").arg(QFontDatabase::families().size()));
    Say(QStringLiteral("application ready: %1 ms").arg(clock.elapsed()));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Larkspan Qt check"));
    window.menuBar()
        ->addMenu(QStringLiteral("&File"))
        ->addAction(QStringLiteral("E&xit"), &app, &QApplication::quit);
    auto* edit = new QLineEdit(&window);
    window.setCentralWidget(edit);
    window.resize(320, 120);
    QObject::connect(edit, &QLineEdit::returnPressed, &app, [&] {
        Say(QStringLiteral("typed: %1").arg(edit->text()));
        app.quit();
    });
    window.show();
    Say(QStringLiteral("window shown: %1 ms").arg(clock.elapsed()));

    if (QApplication::platformName() == QLatin1String("offscreen")) {
        edit->setText(QStringLiteral("Larkspan"));
        const QImage image = window.grab().toImage();
        Say(QStringLiteral("dark pixels: %1").arg(DarkPixels(image)));
        if (QApplication::arguments().size() > 1) {
            image.save(QApplication::arguments().at(1));
        }
        return 0;
    }
    QTimer::singleShot(30000, &app, [&] {
        Say(QStringLiteral("timed out"));
        app.exit(1);
    });
    return app.exec();
}
