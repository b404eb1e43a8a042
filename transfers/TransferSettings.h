#pragma once

class TRegFile;

// The transfer settings the user chooses in the Options dialog, kept in the
// settings store beside the window's other settings.
class TransferSettings {
public:
    static constexpr int kFewestSimultaneous = 1;
    static constexpr int kMostSimultaneous = 8;
    static constexpr int kDefaultSimultaneous = 2;

    // `store` has its key set to the program's settings key.
    explicit TransferSettings(TRegFile &store) : store(store) { }

    // How many queue items run at once. A missing, unreadable or
    // out-of-range value reads as the default.
    int simultaneousTransfers() const;
    // Clamps to the range; a store that cannot be written raises its error.
    void setSimultaneousTransfers(int count);

private:
    TRegFile &store;
};
