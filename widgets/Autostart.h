#pragma once

#include <QString>
#include <memory>

namespace halvix {

// Starting the program with the user's session. One small interface: the Linux desktops use an XDG
// autostart entry; on Windows the same box would write the Run key of the current user.
class Autostart {
public:
    virtual ~Autostart() = default;
    virtual bool isEnabled() const = 0;
    // Writes or removes the start with the session. False with a Chinese reason when refused.
    virtual bool setEnabled(bool enabled, QString& problem) = 0;
};

// ~/.config/autostart/halvix.desktop (or below $XDG_CONFIG_HOME), whose Exec line starts this
// executable. An entry that says Hidden=true is switched off, as the desktops read it.
class XdgAutostart final : public Autostart {
public:
    XdgAutostart(); // this executable, the user's autostart folder
    XdgAutostart(QString entryFile, QString executable);

    bool isEnabled() const override;
    bool setEnabled(bool enabled, QString& problem) override;

    const QString& entryFile() const { return m_entryFile; }
    // The desktop entry's Exec value that starts `executable`, quoted as the desktop entry rules ask.
    static QString execLine(const QString& executable);

private:
    QString m_entryFile;
    QString m_executable;
};

// The implementation for the system the program runs on.
std::unique_ptr<Autostart> makeAutostart();

} // namespace halvix
