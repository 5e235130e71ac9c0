#pragma once

#include <functional>
#include <memory>
#include <string>

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GVariant GVariant;

namespace parlendo {

// Whether the process can read other applications, the Linux sense of the accessibility
// permission: the accessibility bus answers, toolkit accessibility is switched on
// (org.a11y.Status IsEnabled), and the X server offers XInput 2 and XTest. The answer is kept
// up to date by asynchronous reads on the main context and by the status's PropertiesChanged
// signal, which is also handed on as the system's notice of a change. Each read also asks which
// bus the desktop hands out: when its daemon ended, the next request starts another one, which
// answers as well as the first while everything connected to the first is gone with it. Main
// thread.
class AccessibilityTrust : public std::enable_shared_from_this<AccessibilityTrust> {
  public:
    static std::shared_ptr<AccessibilityTrust> make(bool inputAvailable);
    ~AccessibilityTrust();

    // Connects to the session bus, reads the status and subscribes to its changes.
    void start();
    // The answer as last read.
    bool trusted() const;
    // Reads the status again (asynchronously; `trusted` answers the new value afterwards).
    void refresh();
    // The same, calling `done` on the main context once both answers are in (at once without a
    // session bus).
    void refresh(std::function<void()> done);
    // Whether the desktop now hands out another accessibility bus than at the first read.
    bool busReplaced() const { return busReplaced_; }
    // Called on every change notice of the accessibility status.
    std::function<void()> onSystemNotice;

  private:
    explicit AccessibilityTrust(bool inputAvailable);
    static void changed(GDBusConnection*, const char*, const char*, const char*, const char*,
                        GVariant* parameters, void* user);
    void noteAddress(const char* address);

    bool inputAvailable_;
    bool busAnswers_ = false;
    bool enabled_ = false;
    // The bus address of the first answer.
    std::string address_;
    bool busReplaced_ = false;
    GDBusConnection* session_ = nullptr;
    unsigned subscription_ = 0;
    std::shared_ptr<std::weak_ptr<AccessibilityTrust>> self_;
};

}  // namespace parlendo
