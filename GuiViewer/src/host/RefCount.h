#pragma once
// Shared ownership through a count kept in the object (actions, models).
#include <utility>

namespace qor {

class rcount_base {
public:
    rcount_base() = default;
    rcount_base(const rcount_base&) : count_(0) {}
    rcount_base& operator=(const rcount_base&) { return *this; }
    virtual ~rcount_base() = default;

    void addRef() { ++count_; }
    // True when the last reference went (the object is then deleted).
    bool release() {
        if (--count_ > 0) return false;
        delete this;
        return true;
    }
    int refCount() const { return count_; }

private:
    int count_ = 0;
};

template <class T>
class refcnt_ptr {
public:
    refcnt_ptr() = default;
    explicit refcnt_ptr(T* p) : p_(p) {
        if (p_) p_->addRef();
    }
    refcnt_ptr(const refcnt_ptr& o) : p_(o.p_) {
        if (p_) p_->addRef();
    }
    template <class U>
    refcnt_ptr(const refcnt_ptr<U>& o) : p_(o.get()) {
        if (p_) p_->addRef();
    }
    refcnt_ptr(refcnt_ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    refcnt_ptr& operator=(refcnt_ptr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~refcnt_ptr() { release(); }

    // Drops this reference; true when it was the last one.
    bool release() {
        T* p = std::exchange(p_, nullptr);
        return p ? p->release() : false;
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

}  // namespace qor
