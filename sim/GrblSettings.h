#pragma once

#include <string>
#include <vector>

// The controller's numbered settings with their factory values, as "$$" lists them: 0.9 with
// descriptions, 1.1 bare and with the spindle's range and laser mode besides.
class GrblSettings
{
public:
    explicit GrblSettings(bool grbl11 = false);

    std::vector<std::string> listing() const;
    // "$n=value": Ok when taken, else the firmware's status code.
    int set(int index, double value);
    double value(int index) const;
    bool has(int index) const;

private:
    enum class Kind
    {
        Integer,
        Real,
        Mask,
        Flag,
        Rpm // kept as a real, shown without decimals
    };
    struct Entry
    {
        int index;
        double value;
        Kind kind;
        std::string description;
    };

    const Entry *find(int index) const;
    std::string formatted(const Entry &entry) const;

    bool v11 = false;
    std::vector<Entry> entries;
};
