#include "settings/mailconfigform.h"

namespace pd::settings {

TForm_MAILConfig* Form_MAILConfig = nullptr;

TForm_MAILConfig::TForm_MAILConfig(QWidget* owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("Form_MAILConfig"));
    setWindowTitle(QStringLiteral("Konfiguration Postwing"));
    resize(505, 415);
    Form_MAILConfig = this;
}

TForm_MAILConfig::~TForm_MAILConfig()
{
    if (Form_MAILConfig == this)
        Form_MAILConfig = nullptr;
}

} // namespace pd::settings
