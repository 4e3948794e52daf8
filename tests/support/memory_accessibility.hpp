#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/desktop/accessibility.hpp"

namespace lumenary::testing {

// One element of an in-memory accessibility tree. An attribute left absent
// reads as a failed read, the way an element that answers an error does.
struct MemoryElement {
    std::optional<std::string> roleName;
    std::optional<std::string> name;
    std::optional<std::string> description;
    std::optional<std::string> text;
    std::optional<double> currentValue;
    std::optional<platform::ScreenRectangle> extents;
    std::optional<pid_t> processIdentifier;
    std::vector<std::shared_ptr<MemoryElement>> children;
};

// An accessibility bus over MemoryElement trees. It counts every read, can
// make an application quit after a number of reads (every read after that
// fails), and records the threads it was called on.
class MemoryAccessibility final : public platform::Accessibility {
public:
    std::optional<std::string> unavailable;
    std::vector<std::shared_ptr<MemoryElement>> applicationList;
    // Reads answered before every element stops answering.
    std::optional<int> quitAfterReads;

    std::optional<std::string> unavailability() override {
        noteThread();
        return unavailable;
    }

    std::vector<std::unique_ptr<platform::AccessibleElement>> applications() override {
        noteThread();
        std::vector<std::unique_ptr<platform::AccessibleElement>> elements;
        for (const auto& application : applicationList) {
            elements.push_back(std::make_unique<Element>(application, this));
        }
        return elements;
    }

    int reads() const {
        std::lock_guard lock(mutex_);
        return reads_;
    }
    std::set<std::thread::id> threads() const {
        std::lock_guard lock(mutex_);
        return threads_;
    }

private:
    class Element final : public platform::AccessibleElement {
    public:
        Element(std::shared_ptr<MemoryElement> node, MemoryAccessibility* bus) : node_(std::move(node)), bus_(bus) {}

        std::optional<std::string> roleName() override { return read(node_->roleName); }
        std::optional<std::string> name() override { return read(node_->name); }
        std::optional<std::string> description() override { return read(node_->description); }
        std::optional<std::string> text() override { return read(node_->text); }
        std::optional<double> currentValue() override { return read(node_->currentValue); }
        std::optional<platform::ScreenRectangle> extents() override { return read(node_->extents); }
        std::optional<pid_t> processIdentifier() override { return read(node_->processIdentifier); }
        int childCount() override {
            return bus_->answers() ? static_cast<int>(node_->children.size()) : 0;
        }
        std::unique_ptr<platform::AccessibleElement> child(int index) override {
            if (!bus_->answers() || index < 0 || index >= static_cast<int>(node_->children.size())) {
                return nullptr;
            }
            return std::make_unique<Element>(node_->children[static_cast<std::size_t>(index)], bus_);
        }

    private:
        template <typename T>
        std::optional<T> read(const std::optional<T>& attribute) {
            return bus_->answers() ? attribute : std::nullopt;
        }

        std::shared_ptr<MemoryElement> node_;
        MemoryAccessibility* bus_;
    };

    bool answers() {
        noteThread();
        std::lock_guard lock(mutex_);
        ++reads_;
        return !quitAfterReads || reads_ <= *quitAfterReads;
    }

    void noteThread() {
        std::lock_guard lock(mutex_);
        threads_.insert(std::this_thread::get_id());
    }

    mutable std::mutex mutex_;
    int reads_ = 0;
    std::set<std::thread::id> threads_;
};

}  // namespace lumenary::testing
