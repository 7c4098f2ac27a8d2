#include "platform/MessageSink.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform {
namespace {

std::mutex& handlerMutex() {
    static std::mutex m;
    return m;
}
MessageHandler& customHandler() {
    static MessageHandler h;
    return h;
}
bool g_boxesAllowed = true;

bool canShowBox() {
    if (!g_boxesAllowed) return false;
    const char* mode = std::getenv("VIEWER_MESSAGES");
    if (mode && std::strcmp(mode, "stderr") == 0) return false;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    const QString platformName = QGuiApplication::platformName();
    if (platformName == "offscreen" || platformName == "minimal") return false;
    return true;
}

void defaultSink(MessageIcon icon, const std::string& caption, const std::string& text) {
    if (canShowBox()) {
        QMessageBox::Icon qicon = icon == MessageIcon::Error     ? QMessageBox::Critical
                                  : icon == MessageIcon::Warning ? QMessageBox::Warning
                                                                 : QMessageBox::Information;
        QMessageBox box(qicon, QString::fromStdString(caption), QString::fromLocal8Bit(text.c_str()),
                        QMessageBox::Ok);
        box.exec();
        return;
    }
    // One line: trailing newlines of the message text are dropped, inner ones kept.
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), line.c_str());
    std::fflush(stderr);
}

}  // namespace

void ShowMessage(MessageIcon icon, const std::string& text) { ShowMessage(icon, kMessageCaption, text); }

void ShowMessage(MessageIcon icon, const std::string& caption, const std::string& text) {
    MessageHandler handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex());
        handler = customHandler();
    }
    if (handler)
        handler(icon, caption, text);
    else
        defaultSink(icon, caption, text);
}

bool SetMessageBoxesAllowed(bool allowed) {
    bool previous = g_boxesAllowed;
    g_boxesAllowed = allowed;
    return previous;
}

MessageHandler SetMessageHandler(MessageHandler handler) {
    std::lock_guard<std::mutex> lock(handlerMutex());
    MessageHandler previous = std::move(customHandler());
    customHandler() = std::move(handler);
    return previous;
}

MessageRecorder::MessageRecorder() {
    previous_ = SetMessageHandler([this](MessageIcon icon, const std::string& caption, const std::string& text) {
        entries_.push_back({icon, caption, text});
    });
}

MessageRecorder::~MessageRecorder() { SetMessageHandler(std::move(previous_)); }

std::vector<std::string> MessageRecorder::texts() const {
    std::vector<std::string> out;
    for (const auto& e : entries_) out.push_back(e.text);
    return out;
}

bool MessageRecorder::contains(const std::string& text) const {
    for (const auto& e : entries_)
        if (e.text == text) return true;
    return false;
}

}  // namespace platform
