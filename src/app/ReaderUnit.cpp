#include "ReaderUnit.h"

#include "MessageService.h"
#include "PreferenceUnit.h"
#include "UtilsClass.h"

#include <QApplication>
#include <QCloseEvent>

const QString TForm1::Caption = QStringLiteral("Voxtrella MP3");

TForm1::TForm1(QWidget *parent) : QMainWindow(parent), m_prefs(std::make_unique<TPreferences>())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Caption);
    setAccessibleName(Caption);
    resize(640, 480);

    UtilsClass::WriteLog(QStringLiteral("Entered FormCreate"));
    Prefs = m_prefs.get();
    Prefs->LoadFromRegistry();
    TBaseRegistryClass::RestoreWindowPlacement(this);
    Prefs->ItemsToFields();
    UtilsClass::WriteLog(QStringLiteral("Version: ") + Prefs->Version());
    UtilsClass::WriteLog(QStringLiteral("Exiting FormCreate"));
}

TForm1::~TForm1()
{
    UtilsClass::WriteLog(QStringLiteral("Entered FormDestroy"));
    SaveSettings();
    Prefs = nullptr;
    UtilsClass::WriteLog(QStringLiteral("Exiting FormDestroy"));
}

bool TForm1::SaveSettings()
{
    TBaseRegistryClass::SaveWindowPlacement(this);
    m_prefs->FieldsToItems();
    return m_prefs->SaveToRegistry();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    UtilsClass::WriteLog(QStringLiteral("Entered FormClose"));
    if (!SaveSettings())
        MessageService::error(QStringLiteral("The settings could not be saved."));
    event->accept();
    UtilsClass::WriteLog(QStringLiteral("Exiting FormClose"));
}

void TForm1::ExitProgram()
{
    UtilsClass::WriteLog(QStringLiteral("Exit"));
    // Saves through closeEvent; quit also when the window was never shown.
    close();
    QCoreApplication::quit();
}
