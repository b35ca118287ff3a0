// Owners for the few GDI objects the window keeps: each is deleted with its owner.
#pragma once

#include <windows.h>

template <typename Object>
class Gdi {
public:
    Gdi() = default;
    explicit Gdi(Object object) : object_(object) {}
    Gdi(const Gdi&) = delete;
    Gdi& operator=(const Gdi&) = delete;
    Gdi(Gdi&& other) noexcept : object_(other.Release()) {}
    Gdi& operator=(Gdi&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~Gdi() { Reset(); }
    void Reset(Object object = nullptr) {
        if (object_ != nullptr) DeleteObject(object_);
        object_ = object;
    }
    Object get() const { return object_; }
    Object Release() {
        const Object object = object_;
        object_ = nullptr;
        return object;
    }

private:
    Object object_ = nullptr;
};

// Selects an object into a device context for one scope, then puts the old one back.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;
    ~Selected() { SelectObject(dc_, old_); }

private:
    HDC dc_;
    HGDIOBJ old_;
};

// A memory device context, deleted with its owner.
class MemoryDc {
public:
    MemoryDc() : dc_(CreateCompatibleDC(nullptr)) {}
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    ~MemoryDc() { DeleteDC(dc_); }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};
