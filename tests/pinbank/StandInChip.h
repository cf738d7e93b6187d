#pragma once

#include "pinbank/GpioCharDevice.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <linux/gpio.h>

// GPIO chips in place of the kernel's, answering the library's calls as the GPIO character device does:
// chip and line information, line requests (EBUSY for a held line, the consumer recorded), values, and
// the change of an as-is line into an output. A line reads its outside level as an input and its driven
// level as an output. Descriptors are numbers of its own, so a leak shows in OpenDescriptors().
class StandInChip : public GpioCharDevice {
public:
    struct Line {
        std::string name;
        bool output = false;
        int outside = 0; // the level the world puts on an input
        int driven = 0;
        std::string consumer; // empty when free
    };
    struct Chip {
        std::string path;
        std::string name;
        std::vector<Line> lines;
    };

    std::vector<Chip> chips;

    // Two chips as tests use them: gpiochip0 with 8 lines, line 3 "GPS_PWR", line 5 held by "gpio-keys",
    // line 6 "TWIN"; gpiochip1 with 4 lines, line 2 also "TWIN".
    StandInChip()
    {
        chips = { { "/dev/gpiochip0", "gpiochip0", std::vector<Line>(8) },
            { "/dev/gpiochip1", "gpiochip1", std::vector<Line>(4) } };
        At(0, 3).name = "GPS_PWR";
        At(0, 5).consumer = "gpio-keys";
        At(0, 6).name = "TWIN";
        At(1, 2).name = "TWIN";
    }

    Line& At(std::size_t chip, std::uint32_t offset) { return chips.at(chip).lines.at(offset); }
    std::size_t OpenDescriptors() const { return descriptors.size(); }

    int Open(const std::string& path) override
    {
        for (std::size_t i = 0; i < chips.size(); ++i) {
            if (chips[i].path == path)
                return Add({ i, -1 });
        }
        errno = ENOENT;
        return -1;
    }

    int Ioctl(int fd, unsigned long request, void* argument) override
    {
        const auto found = descriptors.find(fd);
        if (found == descriptors.end())
            return Fail(EBADF);
        Chip& chip = chips[found->second.chip];
        if (found->second.offset >= 0)
            return LineIoctl(chip.lines[static_cast<std::size_t>(found->second.offset)], request, argument);
        if (request == GPIO_GET_CHIPINFO_IOCTL) {
            auto* info = static_cast<gpiochip_info*>(argument);
            std::strncpy(info->name, chip.name.c_str(), sizeof info->name - 1);
            info->lines = static_cast<std::uint32_t>(chip.lines.size());
            return 0;
        }
        if (request == GPIO_V2_GET_LINEINFO_IOCTL)
            return LineInfo(chip, static_cast<gpio_v2_line_info*>(argument));
        if (request == GPIO_V2_GET_LINE_IOCTL)
            return RequestLine(found->second.chip, static_cast<gpio_v2_line_request*>(argument));
        return Fail(ENOTTY);
    }

    void Close(int fd) override
    {
        const auto found = descriptors.find(fd);
        if (found != descriptors.end() && found->second.offset >= 0)
            chips[found->second.chip].lines[static_cast<std::size_t>(found->second.offset)].consumer.clear();
        descriptors.erase(fd);
    }

    std::vector<std::string> Chips() override
    {
        std::vector<std::string> paths;
        for (const Chip& chip : chips)
            paths.push_back(chip.path);
        return paths;
    }

private:
    struct Descriptor {
        std::size_t chip;
        int offset; // -1 for the chip itself
    };

    static int Fail(int error)
    {
        errno = error;
        return -1;
    }

    int Add(Descriptor descriptor)
    {
        descriptors[next] = descriptor;
        return next++;
    }

    static int LineInfo(const Chip& chip, gpio_v2_line_info* info)
    {
        if (info->offset >= chip.lines.size())
            return Fail(EINVAL);
        const Line& line = chip.lines[info->offset];
        std::strncpy(info->name, line.name.c_str(), sizeof info->name - 1);
        std::strncpy(info->consumer, line.consumer.c_str(), sizeof info->consumer - 1);
        info->flags = (line.consumer.empty() ? 0 : GPIO_V2_LINE_FLAG_USED)
            | (line.output ? GPIO_V2_LINE_FLAG_OUTPUT : GPIO_V2_LINE_FLAG_INPUT);
        return 0;
    }

    int RequestLine(std::size_t chipIndex, gpio_v2_line_request* request)
    {
        Chip& chip = chips[chipIndex];
        if (request->num_lines != 1 || request->offsets[0] >= chip.lines.size()
            || request->consumer[0] == '\0')
            return Fail(EINVAL);
        Line& line = chip.lines[request->offsets[0]];
        if (!line.consumer.empty())
            return Fail(EBUSY);
        if (!Configure(line, request->config))
            return Fail(EINVAL);
        line.consumer = request->consumer;
        request->fd = Add({ chipIndex, static_cast<int>(request->offsets[0]) });
        return 0;
    }

    // No direction flag leaves the line as it is.
    static bool Configure(Line& line, const gpio_v2_line_config& config)
    {
        const bool input = (config.flags & GPIO_V2_LINE_FLAG_INPUT) != 0;
        const bool output = (config.flags & GPIO_V2_LINE_FLAG_OUTPUT) != 0;
        if ((input && output) || config.num_attrs > GPIO_V2_LINE_NUM_ATTRS_MAX)
            return false;
        if (input)
            line.output = false;
        if (output) {
            line.output = true;
            for (std::uint32_t i = 0; i < config.num_attrs; ++i) {
                if (config.attrs[i].attr.id == GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES
                    && (config.attrs[i].mask & 1))
                    line.driven = static_cast<int>(config.attrs[i].attr.values & 1);
            }
        }
        return true;
    }

    static int LineIoctl(Line& line, unsigned long request, void* argument)
    {
        if (request == GPIO_V2_LINE_GET_VALUES_IOCTL) {
            auto* values = static_cast<gpio_v2_line_values*>(argument);
            values->bits
                = static_cast<std::uint64_t>(line.output ? line.driven : line.outside) & values->mask;
            return 0;
        }
        if (request == GPIO_V2_LINE_SET_VALUES_IOCTL) {
            const auto* values = static_cast<const gpio_v2_line_values*>(argument);
            if (!line.output)
                return Fail(EPERM);
            if (values->mask & 1)
                line.driven = static_cast<int>(values->bits & 1);
            return 0;
        }
        if (request == GPIO_V2_LINE_SET_CONFIG_IOCTL)
            return Configure(line, *static_cast<const gpio_v2_line_config*>(argument)) ? 0 : Fail(EINVAL);
        return Fail(ENOTTY);
    }

    std::map<int, Descriptor> descriptors;
    int next = 100;
};
