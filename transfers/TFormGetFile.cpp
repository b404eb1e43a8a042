#include "transfers/TFormGetFile.h"

TFormGetFile::TFormGetFile(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormGetFile"));
    setWindowTitle(tr("Download File from FTP Site:"));
    setModal(true);
}
