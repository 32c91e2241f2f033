// What the window tests share: one QApplication in the classic style, the
// message box and the program's end caught instead of shown or done, the
// catalogue rows reached through the hive's own interface, and a journal
// of every change made to the hive's values, in order.
#pragma once

#include <QString>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "registry/catalogue.h"
#include "support/qt_print.h"
#include "support/temp_machine.h"
#include "window/Form1.h"

namespace window_testing {

void ensureApp();

// Catches message boxes (answered with OK) and End while it lives.
class Seams {
  public:
    Seams();
    ~Seams();
    Seams(const Seams&) = delete;
    Seams& operator=(const Seams&) = delete;

    struct Message {
        QString prompt;
        int buttons;
        QString title;
    };
    std::vector<Message> messages;
    int ends = 0;
};

// A catalogue row's value as the hive holds it.
std::optional<regstore::Value> stored(testing_support::TempMachine& machine,
                                      const catalogue::Row& row);
void store(testing_support::TempMachine& machine, const catalogue::Row& row, DWORD type,
           const std::string& data);
void storeText(testing_support::TempMachine& machine, const catalogue::Row& row,
               const std::string& text);
void storeDword(testing_support::TempMachine& machine, const catalogue::Row& row,
                std::uint32_t number);
regstore::KeyId keyOf(testing_support::TempMachine& machine, const catalogue::Row& row);

// Every value set or deleted in the hive from now on, by anyone, in order.
// (A delete of a value that does not exist changes nothing and is not seen.)
class Journal {
  public:
    explicit Journal(const std::filesystem::path& hiveFile);
    ~Journal();

    struct Entry {
        std::string op;  // "set" or "delete"
        regstore::KeyId key;
        std::string name;  // folded to lower case
        bool operator==(const Entry&) const = default;
        friend void PrintTo(const Entry& e, std::ostream* os) {
            *os << e.op << ' ' << e.name << " in key " << e.key;
        }
    };
    std::vector<Entry> entries() const;
    static Entry entry(testing_support::TempMachine& machine, const char* op,
                       const catalogue::Row& row);

  private:
    std::filesystem::path file_;
};

// A machine with every catalogue key, Form1 created on it (not yet loaded),
// and the seams in place.
class WindowTest {
  public:
    WindowTest();
    virtual ~WindowTest();

    // Creates Form1 and raises its load event.
    Form1& load();

    testing_support::TempMachine machine;
    std::unique_ptr<Seams> seams;
    std::unique_ptr<Form1> form;
};

}  // namespace window_testing
