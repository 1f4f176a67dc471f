#pragma once

#include <optional>

#include <QString>

#include "app/dialogs.h"

// The window's dialogs for benchmarks: nothing may wait for a person here.
class SilentDialogs : public TDialogs {
public:
    std::optional<QString> OpenFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString PickFolder(QWidget*, const QString&, const QString&) override { return {}; }
    std::optional<QString> SaveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    void ShowMessage(QWidget*, const QString&, const QString&) override {}
    void ShowErrorBox(QWidget*, const QString&, const QString&) override {}
};
