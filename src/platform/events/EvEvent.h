#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Events of the suite: numbered messages whose text comes from the event catalogue in the
// event's locale, raised with a severity and written to the management database (table events),
// where `lmctl show` lists them. The catalogue's texts hold "%s" where an argument goes; arguments
// are put in as they are, never read as formats. Locales without their own texts use English.
// An object is used by one thread at a time.
class EvEvent {
public:
    enum Severity { kInformation = 0, kWarning = 1, kCritical = 2 };
    static constexpr int kEnglish = 0x409;

    void setLocaleId(int localeId) { locale_ = localeId; }
    int getLocaleId() const { return locale_; }

    // The text of a message with its arguments; empty when the catalogue does not know it.
    std::string text(uint32_t messageId, const std::vector<std::string>& args = {}) const;
    // The same into a caller's buffer: at most size-1 bytes and a NUL. Returns the length, or -1
    // when the message is unknown (the buffer then names its number).
    int evPrintf(char* buffer, size_t size, uint32_t messageId, const std::vector<std::string>& args = {}) const;

    // Raises the event: writes it with this machine's client name. 0 when written.
    int raise(Severity severity, uint32_t eventId, const std::vector<std::string>& args = {});
    int CriticalEvent(uint32_t eventId, const std::string& argument) { return raise(kCritical, eventId, {argument}); }

private:
    int locale_ = kEnglish;
};
