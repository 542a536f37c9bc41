#include "app/paperdartform.h"

#include <QCloseEvent>
#include <QShowEvent>

namespace pd::app {

TForm_Paperdart* Form_Paperdart = nullptr;

TForm_Paperdart::TForm_Paperdart(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form_Paperdart"));
    setWindowTitle(QStringLiteral("Paperdart"));
    setMinimumSize(469, 175);
    resize(461, 179);
    Form_Paperdart = this;
    FormCreate();
}

TForm_Paperdart::~TForm_Paperdart()
{
    if (Form_Paperdart == this)
        Form_Paperdart = nullptr;
}

void TForm_Paperdart::FormCreate()
{
    FirstShow = true;
}

void TForm_Paperdart::FormShow()
{
    if (FirstShow)
        FirstShow = false;
}

void TForm_Paperdart::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm_Paperdart::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

} // namespace pd::app
