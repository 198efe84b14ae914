#pragma once
#include <string>
#include <string_view>

// A password in protected form, as message fields and stored settings carry it. The plain text
// exists only in the string getPlainPassword returns.
class pstring {
public:
    pstring() = default;
    static pstring fromProtected(std::string protectedForm);
    static pstring fromPlain(std::string_view plain);

    const std::string& protectedForm() const { return protected_; }
    std::string getPlainPassword() const;
    bool empty() const { return protected_.empty(); }
    bool operator==(const pstring& o) const { return protected_ == o.protected_; }

private:
    std::string protected_;
};

// Turns passwords into their protected form and back. The protected form is "{KQP1}" followed by
// Base64 of the text masked with a keystream of the installation. It keeps passwords out of
// logs, dumps and casual reading of stored files; it is not a cipher against a determined reader
// who has the installation's files.
namespace KQPassword {
std::string encrypt(std::string_view plain);
// The plain text of a protected form; a text without the prefix is taken as plain already.
// Returns false when the protected form is damaged.
bool decrypt(std::string_view protectedForm, std::string& plain);
}
