#include "app/aboutdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "resources/resourcetable.h"

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Brellan SoftWare");
    auto* row = new QHBoxLayout;
    auto* picture = new QLabel(this);
    picture->setPixmap(ResourcePixmap(209));
    row->addWidget(picture);
    auto* texts = new QVBoxLayout;
    texts->addWidget(new QLabel("Quillory Version 1.0\nOstrel Imaging", this));
    auto* web = new QLabel("www.ostrel-imaging.example", this);
    web->setObjectName("1125");
    texts->addWidget(web);
    row->addLayout(texts);
    auto* ok = new QPushButton(ResourceIcon(155), "OK", this);
    ok->setObjectName("1");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* all = new QVBoxLayout(this);
    all->addLayout(row);
    all->addWidget(ok, 0, Qt::AlignRight);
}
