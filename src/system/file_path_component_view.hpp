#pragma once

#include <compare>
#include <cstddef>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Read through system/file_path.hpp, which completes FilePath first.

namespace lumenary::system {

// The components of one path after its root, as an editable collection.
// Every edit keeps the path separator-normal; an index is the offset of a
// component's first character, or the path's end for `endIndex()`. Using an
// index outside startIndex ... endIndex, stepping past either end, reading at
// the end or removing from an empty view stops the process.
class FilePath::ComponentView {
public:
    class Index {
    public:
        constexpr explicit Index(std::ptrdiff_t offset) noexcept : offset_(offset) {}
        constexpr std::ptrdiff_t offset() const noexcept { return offset_; }
        friend constexpr auto operator<=>(Index, Index) noexcept = default;

    private:
        std::ptrdiff_t offset_;
    };

    class Iterator {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = Component;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = Component;

        Iterator() = default;
        Iterator(const ComponentView* view, Index index) noexcept : view_(view), index_(index) {}
        Component operator*() const { return (*view_)[index_]; }
        Iterator& operator++() {
            index_ = view_->indexAfter(index_);
            return *this;
        }
        Iterator operator++(int) {
            Iterator before = *this;
            ++*this;
            return before;
        }
        Iterator& operator--() {
            index_ = view_->indexBefore(index_);
            return *this;
        }
        Iterator operator--(int) {
            Iterator before = *this;
            --*this;
            return before;
        }
        friend bool operator==(const Iterator& left, const Iterator& right) noexcept {
            return left.index_ == right.index_;
        }

    private:
        const ComponentView* view_ = nullptr;
        Index index_{0};
    };

    // The view of the empty path.
    ComponentView();
    // A relative path of `count` copies of `component`.
    ComponentView(const Component& repeating, std::ptrdiff_t count);
    // From a coded form: absent unless `start` is the path's relative start.
    static std::optional<ComponentView> fromParts(FilePath path, std::ptrdiff_t start);

    Index startIndex() const noexcept { return Index(start_); }
    Index endIndex() const noexcept { return Index(path_.end()); }
    bool isEmpty() const noexcept { return start_ == path_.end(); }
    Index indexAfter(Index index) const;
    Index indexBefore(Index index) const;
    Index index(Index from, std::ptrdiff_t offsetBy) const;
    std::ptrdiff_t distance(Index from, Index to) const;
    std::size_t count() const;
    Component operator[](Index index) const;
    // The components lower ..< upper.
    std::vector<Component> subrange(Index lower, Index upper) const;
    Iterator begin() const noexcept { return Iterator(this, startIndex()); }
    Iterator end() const noexcept { return Iterator(this, endIndex()); }

    void replaceSubrange(Index lower, Index upper, const std::vector<Component>& components);
    void append(const Component& component);
    void append(const std::vector<Component>& components);
    void insert(const Component& component, Index at);
    void insert(const std::vector<Component>& components, Index at);
    // The component removed, as it stood in the path before the removal.
    Component remove(Index at);
    void removeSubrange(Index lower, Index upper);
    Component removeFirst();
    void removeFirst(std::ptrdiff_t count);
    // Keeping the capacity keeps the root; otherwise the view holds the empty
    // path (a path's `modifyComponents` puts its root back).
    void removeAll(bool keepingCapacity);
    // Keeps the components for which `shouldRemove` is false, as a relative
    // path. A throwing predicate leaves the view as it was.
    template <typename Predicate>
    void removeAll(Predicate shouldRemove) {
        std::vector<Component> kept;
        for (const Component& component : *this) {
            if (!shouldRemove(component)) {
                kept.push_back(component);
            }
        }
        *this = FilePath(std::nullopt, kept).components();
    }

    const FilePath& path() const noexcept { return path_; }
    std::ptrdiff_t start() const noexcept { return start_; }
    std::string_view bytes() const noexcept { return path_.bytes().substr(static_cast<std::size_t>(start_)); }
    std::string description() const;
    std::string debugDescription() const;
    std::optional<std::string> validatedText() const;

    friend bool operator==(const ComponentView& left, const ComponentView& right) noexcept {
        return left.bytes() == right.bytes();
    }

private:
    friend class FilePath;
    ComponentView(FilePath path, std::ptrdiff_t start) : path_(std::move(path)), start_(start) {}
    void requireIndex(Index index) const;

    FilePath path_;
    std::ptrdiff_t start_;
};

}  // namespace lumenary::system

template <>
struct std::hash<lumenary::system::FilePath::ComponentView> {
    std::size_t operator()(const lumenary::system::FilePath::ComponentView& view) const noexcept {
        return lumenary::system::hashPlatformCharacters(view.bytes());
    }
};
