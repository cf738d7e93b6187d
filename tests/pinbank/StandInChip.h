#pragma once

#include "pinbank/GpioCharDevice.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <linux/gpio.h>

// GPIO chips in place of the kernel's, answering as the GPIO character device does: chip and line
// information, single-line requests (EBUSY for a held line), values, and the change of an as-is line
// into an output. A line reads its outside level as an input and its driven level as an output.
// Descriptors are numbers of its own, so a leak shows in OpenDescriptors(). Starts with two chips:
// gpiochip0 with 8 lines (3 "GPS_PWR", 5 held by "gpio-keys", 6 "TWIN") and gpiochip1 with 4 (2 "TWIN").
class StandInChip : public GpioCharDevice {
public:
    struct Line {
        std::string name;
        bool output = false;
        int outside = 0;
        int driven = 0;
        std::string consumer;
    };
    struct Chip {
        std::string path, name;
        std::vector<Line> lines;
    };

    StandInChip()
    {
        chips = { { "/dev/gpiochip0", "gpiochip0", std::vector<Line>(8) },
            { "/dev/gpiochip1", "gpiochip1", std::vector<Line>(4) } };
        At(0, 3).name = "GPS_PWR";
        At(0, 5).consumer = "gpio-keys";
        At(0, 6).name = At(1, 2).name = "TWIN";
    }

    Line& At(std::size_t chip, std::uint32_t offset) { return chips.at(chip).lines.at(offset); }
    std::size_t OpenDescriptors() const { return descriptors.size(); }

    int Open(const std::string& path) override
    {
        for (std::size_t i = 0; i < chips.size(); ++i) {
            if (chips[i].path == path)
                return Add(i, nullptr);
        }
        return Fail(ENOENT);
    }

    int Ioctl(int fd, unsigned long request, void* argument) override
    {
        if (!descriptors.contains(fd))
            return Fail(EBADF);
        auto [chipIndex, line] = descriptors[fd];
        Chip& chip = chips[chipIndex];
        auto* info = static_cast<gpio_v2_line_info*>(argument);
        auto* lineRequest = static_cast<gpio_v2_line_request*>(argument);
        auto* values = static_cast<gpio_v2_line_values*>(argument);
        if (!line && request == GPIO_GET_CHIPINFO_IOCTL) {
            std::strcpy(static_cast<gpiochip_info*>(argument)->name, chip.name.c_str());
            static_cast<gpiochip_info*>(argument)->lines = static_cast<std::uint32_t>(chip.lines.size());
        } else if (!line && request == GPIO_V2_GET_LINEINFO_IOCTL) {
            if (info->offset >= chip.lines.size())
                return Fail(EINVAL);
            const Line& asked = chip.lines[info->offset];
            std::strcpy(info->name, asked.name.c_str());
            std::strcpy(info->consumer, asked.consumer.c_str());
            info->flags = (asked.consumer.empty() ? 0 : GPIO_V2_LINE_FLAG_USED)
                | (asked.output ? GPIO_V2_LINE_FLAG_OUTPUT : GPIO_V2_LINE_FLAG_INPUT);
        } else if (!line && request == GPIO_V2_GET_LINE_IOCTL) {
            if (lineRequest->num_lines != 1 || lineRequest->offsets[0] >= chip.lines.size()
                || !*lineRequest->consumer)
                return Fail(EINVAL);
            Line& wanted = chip.lines[lineRequest->offsets[0]];
            if (!wanted.consumer.empty())
                return Fail(EBUSY);
            Configure(wanted, lineRequest->config);
            wanted.consumer = lineRequest->consumer;
            lineRequest->fd = Add(chipIndex, &wanted);
        } else if (line && request == GPIO_V2_LINE_GET_VALUES_IOCTL) {
            values->bits
                = static_cast<std::uint64_t>(line->output ? line->driven : line->outside) & values->mask;
        } else if (line && request == GPIO_V2_LINE_SET_VALUES_IOCTL) {
            if (!line->output)
                return Fail(EPERM);
            if (values->mask & 1)
                line->driven = static_cast<int>(values->bits & 1);
        } else if (line && request == GPIO_V2_LINE_SET_CONFIG_IOCTL) {
            Configure(*line, *static_cast<gpio_v2_line_config*>(argument));
        } else {
            return Fail(ENOTTY);
        }
        return 0;
    }

    void Close(int fd) override
    {
        if (descriptors.contains(fd) && descriptors[fd].second)
            descriptors[fd].second->consumer.clear();
        descriptors.erase(fd);
    }

    std::vector<std::string> Chips() override { return { chips[0].path, chips[1].path }; }

private:
    static int Fail(int error)
    {
        errno = error;
        return -1;
    }

    int Add(std::size_t chip, Line* line)
    {
        descriptors[next] = { chip, line };
        return next++;
    }

    // No direction flag leaves the line as it is; an output takes its level from the values attribute.
    static void Configure(Line& line, const gpio_v2_line_config& config)
    {
        if (config.flags & GPIO_V2_LINE_FLAG_INPUT)
            line.output = false;
        if (!(config.flags & GPIO_V2_LINE_FLAG_OUTPUT))
            return;
        line.output = true;
        for (std::uint32_t i = 0; i < config.num_attrs; ++i) {
            if (config.attrs[i].attr.id == GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES && (config.attrs[i].mask & 1))
                line.driven = static_cast<int>(config.attrs[i].attr.values & 1);
        }
    }

    std::vector<Chip> chips;
    std::map<int, std::pair<std::size_t, Line*>> descriptors;
    int next = 100;
};
