// PrefixChooser's controls; positions and sizes in twips.
#include <QHeaderView>

#include "chooser/PrefixChooser.h"
#include "controls/twips.h"
#include "window/pictures.h"

namespace {

enum Column { kName, kSource, kFolder, kWine };

QTreeWidgetItem* row(const prefixes::Prefix& p) {
    auto* item = new QTreeWidgetItem;
    item->setText(kName, QString::fromStdString(p.name));
    item->setText(kSource, QString::fromUtf8(prefixes::sourceName(p.source)));
    item->setText(kFolder, QString::fromStdString(p.path.string()));
    item->setText(kWine, p.wineRunning ? QStringLiteral("Running") : QStringLiteral("Not running"));
    // The folder, often longer than its column, shown whole on hovering.
    item->setToolTip(kFolder, item->text(kFolder));
    return item;
}

}  // namespace

PrefixChooser::PrefixChooser(std::vector<prefixes::Prefix> found, Opener open, QWidget* owner)
    : Form(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                      Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                      Qt::MSWindowsFixedSizeDialogHint),
      found_(std::move(found)),
      open_(std::move(open)) {
    setWindowTitle(QStringLiteral("Knobwise"));
    setWindowIcon(pictures::windowIcon());
    setClientSize(10500, 4500);

    Label1 = new Label(found_.empty() ? QStringLiteral("No Wine prefix was found on this computer. "
                                                       "Pick one with \"Other folder...\".")
                                      : QStringLiteral("Choose the Wine prefix to work on:"),
                       this);
    Label1->setGeometry(twips::rect(120, 120, 8880, 255));

    List1 = new QTreeWidget(this);
    List1->setGeometry(twips::rect(120, 480, 8880, 3900));
    List1->setAccessibleName(QStringLiteral("Wine prefixes"));
    List1->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Found by"),
                            QStringLiteral("Folder"), QStringLiteral("Wine")});
    List1->setRootIsDecorated(false);
    List1->setUniformRowHeights(true);
    List1->setTextElideMode(Qt::ElideMiddle);
    List1->setAllColumnsShowFocus(true);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setSelectionBehavior(QAbstractItemView::SelectRows);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    List1->header()->setSectionsMovable(false);
    for (const prefixes::Prefix& p : found_) List1->addTopLevelItem(row(p));
    List1->setColumnWidth(kName, twips::px(2400));
    List1->setColumnWidth(kSource, twips::px(1080));
    List1->setColumnWidth(kFolder, twips::px(3750));
    setTabIndex(List1, 0);
    Label1->setBuddy(List1);

    OKButton = new CommandButton(QStringLiteral("OK"), this);
    OKButton->setGeometry(twips::rect(9120, 480, 1215, 375));
    setTabIndex(OKButton, 1);
    CancelButton = new CommandButton(QStringLiteral("Cancel"), this);
    CancelButton->setGeometry(twips::rect(9120, 960, 1215, 375));
    setTabIndex(CancelButton, 2);
    OtherButton = new CommandButton(QStringLiteral("&Other folder..."), this);
    OtherButton->setGeometry(twips::rect(9120, 1440, 1215, 375));
    setTabIndex(OtherButton, 3);
    applyTabIndexes();

    if (found_.empty()) {
        List1->setEnabled(false);
        OKButton->setEnabled(false);
        OtherButton->setFocus();
    } else {
        List1->setCurrentItem(List1->topLevelItem(0));
    }
    // Type-ahead looks in the column of the current cell: it stays on the
    // names, wherever the row was clicked.
    connect(List1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && current.column() != kName)
                    List1->selectionModel()->setCurrentIndex(current.siblingAtColumn(kName),
                                                             QItemSelectionModel::NoUpdate);
            });
    connect(List1, &QTreeWidget::itemDoubleClicked, this, &PrefixChooser::OKButton_Click);
    connect(OKButton, &CommandButton::Click, this, &PrefixChooser::OKButton_Click);
    connect(CancelButton, &CommandButton::Click, this, &PrefixChooser::CancelButton_Click);
    connect(OtherButton, &CommandButton::Click, this, &PrefixChooser::OtherButton_Click);
}
