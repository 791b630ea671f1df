// The base of the engine's components: an owner and a name. The name is what a user sees in front of
// every engine error message, so a host can tell which of its components failed.
#pragma once

#include <string>
#include <utility>

class TComponent {
public:
    // The owner is not taken over: whoever created a component destroys it.
    explicit TComponent(TComponent* owner = nullptr) : FOwner(owner) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const noexcept { return FOwner; }
    const std::u16string& Name() const noexcept { return FName; }
    void SetName(std::u16string name) { FName = std::move(name); }

private:
    TComponent* FOwner;
    std::u16string FName;
};
