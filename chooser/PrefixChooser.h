// The Wine prefix chooser: the prefixes found on this computer, one a row
// (its name, where it was found, its folder, whether Wine runs there), with
// OK, Cancel and "Other folder...". The arrow keys and the first letters of
// a name move through the rows; Enter or a double click opens the row, as
// OK does; Escape cancels, as Cancel does. A folder picked with "Other
// folder..." that is no Wine prefix is explained in a message box, and the
// chooser stays for another pick.
#pragma once

#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controls/commandbutton.h"
#include "controls/form.h"
#include "controls/label.h"
#include "machine/prefixes.h"
#include "wineprefix/prefix_identity.h"

class PrefixChooser : public Form {
    Q_OBJECT

  public:
    // Opens the prefix picked.
    using Opener = std::function<void(const wineprefix::Identity&)>;

    PrefixChooser(std::vector<prefixes::Prefix> found, Opener open, QWidget* owner = nullptr);

    Label* promptLabel;
    QTreeWidget* prefixList;
    CommandButton* okButton;
    CommandButton* cancelButton;
    CommandButton* otherFolderButton;

    // OK opens the prefix of the current row; "Other folder..." opens the
    // folder chosen in a folder dialog; Cancel closes the chooser, opening
    // nothing.
    void openCurrentRow();
    void cancel();
    void openOtherFolder();

    // The prefix opened; nullopt until one is (and after a cancel).
    const std::optional<wineprefix::Identity>& opened() const { return opened_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void open(const wineprefix::Identity& prefix);

    std::vector<prefixes::Prefix> found_;
    Opener open_;
    std::optional<wineprefix::Identity> opened_;
};
