#include "explorer/TFormConnect.h"

TFormConnect::TFormConnect(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormConnect"));
    setWindowTitle(tr("New FTP Site"));
    setModal(true);
}
