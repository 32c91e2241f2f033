// The Wine prefix chooser: the prefixes found on this computer, one a row
// (its name, where it was found, its folder, whether Wine runs there), with
// OK, Cancel and "Other folder...". The arrow keys and the first letters of
// a name move through the rows; Enter or a double click opens the row, as
// OK does; Escape cancels, as Cancel does.
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

class PrefixChooser : public Form {
    Q_OBJECT

  public:
    // A prefix picked: its folder and the name it goes by.
    struct Pick {
        std::filesystem::path folder;
        std::string name;
    };
    // Opens the prefix picked: nullopt when it could, else why not, as a
    // sentence. The chooser shows the reason and stays, so that another
    // prefix can be picked.
    using Opener = std::function<std::optional<std::string>(const Pick&)>;

    PrefixChooser(std::vector<prefixes::Prefix> found, Opener open, QWidget* owner = nullptr);

    Label* Label1;
    QTreeWidget* List1;
    CommandButton* OKButton;
    CommandButton* CancelButton;
    CommandButton* OtherButton;

    // OK opens the prefix of the current row; "Other folder..." opens the
    // folder chosen in a folder dialog; Cancel closes the chooser, opening
    // nothing.
    void OKButton_Click();
    void CancelButton_Click();
    void OtherButton_Click();

    // The prefix opened; nullopt until one is (and after a cancel).
    const std::optional<Pick>& opened() const { return opened_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void open(const Pick& pick);

    std::vector<prefixes::Prefix> found_;
    Opener open_;
    std::optional<Pick> opened_;
};
