// ChanLoad: measures how busy one packet-radio channel is, as a client of an
// AGWPE-compatible packet engine.
#include "MeterProp.h"
#include "Pictures.h"
#include "meter.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ChanLoad"));
    QApplication::setDesktopFileName(QStringLiteral("org.chanload.ChanLoad"));
    QApplication::setWindowIcon(LoadIcon("MAINICON"));

    auto* main = new TForm1;
    auto* properties = new TForm2;
    const int status = app.exec();
    delete properties;
    delete main;
    return status;
}
