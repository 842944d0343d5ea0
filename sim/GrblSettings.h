#pragma once

#include <string>
#include <vector>

// The controller's numbered settings with their factory values, as "$$" lists them.
class GrblSettings
{
public:
    GrblSettings();

    std::vector<std::string> listing() const;
    // "$n=value": "" when taken, else the firmware's error text.
    std::string set(int index, double value);
    double value(int index) const;
    bool has(int index) const;

private:
    enum class Kind
    {
        Integer,
        Real,
        Mask,
        Flag
    };
    struct Entry
    {
        int index;
        double value;
        Kind kind;
        std::string description;
    };

    const Entry *find(int index) const;
    static std::string formatted(const Entry &entry);

    std::vector<Entry> entries;
};
