// startup-baseline: the smallest Qt Widgets program that shows a window, the yardstick that
// scripts/bench-startup.sh starts side by side with Larkspan. Built by the same build, with the
// same compiler flags and against the same Qt; Ctrl+W closes it as it closes Larkspan.

#include <QApplication>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Baseline"));
    window.resize(496, 266);
    QShortcut close(QKeySequence(QStringLiteral("Ctrl+W")), &window);
    QObject::connect(&close, &QShortcut::activated, &window, &QWidget::close);
    window.show();
    return app.exec();
}
