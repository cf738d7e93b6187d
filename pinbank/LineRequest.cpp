#include "pinbank/LineRequest.h"

#include "pinbank/GpioCharDevice.h"

#include <cerrno>
#include <cstring>

#include <linux/gpio.h>

namespace {

constexpr std::uint64_t FirstLine = 1;

std::string HolderOf(const GpioDescriptor& chip, GpioLineFinder::Line line)
{
    std::string ignored;
    if (!GpioLineFinder::Inspect(chip, line.offset, &line, &ignored) || line.consumer.empty())
        return "another consumer that gave no name";
    return "\"" + line.consumer + "\"";
}

}

bool LineRequest::Request(
    GpioCharDevice& device, const GpioLineFinder::Line& line, bool output, std::string* problem)
{
    const int chipFd = device.Open(line.chipPath);
    if (chipFd < 0) {
        *problem = "cannot open the GPIO chip " + line.chipPath + ": " + std::strerror(errno);
        return false;
    }
    const GpioDescriptor chip(device, chipFd);
    gpio_v2_line_request request {};
    request.offsets[0] = line.offset;
    request.num_lines = 1;
    std::strncpy(request.consumer, Consumer, sizeof request.consumer - 1);
    // An output is first taken as it stands (no direction flag), so its level can be read before it is
    // made an output at that same level.
    request.config.flags = output ? 0 : GPIO_V2_LINE_FLAG_INPUT;
    const bool requested = chip.Ioctl(GPIO_V2_GET_LINE_IOCTL, &request) == 0;
    if (!requested || request.fd <= 0) {
        const int error = requested ? EIO : errno;
        *problem = error == EBUSY
            ? GpioLineFinder::Describe(line) + " is held by " + HolderOf(chip, line)
            : "cannot request " + GpioLineFinder::Describe(line) + ": " + std::strerror(error);
        return false;
    }
    held = GpioDescriptor(device, request.fd);
    if (output && !KeepLevelAsOutput(problem)) {
        *problem = "cannot make " + GpioLineFinder::Describe(line) + " an output: " + *problem;
        held.Reset();
        return false;
    }
    return true;
}

bool LineRequest::KeepLevelAsOutput(std::string* problem) const
{
    gpio_v2_line_values values {};
    values.mask = FirstLine;
    gpio_v2_line_config config {};
    config.flags = GPIO_V2_LINE_FLAG_OUTPUT;
    config.num_attrs = 1;
    config.attrs[0].attr.id = GPIO_V2_LINE_ATTR_ID_OUTPUT_VALUES;
    config.attrs[0].mask = FirstLine;
    if (held.Ioctl(GPIO_V2_LINE_GET_VALUES_IOCTL, &values) != 0) {
        *problem = std::strerror(errno);
        return false;
    }
    config.attrs[0].attr.values = values.bits & FirstLine;
    if (held.Ioctl(GPIO_V2_LINE_SET_CONFIG_IOCTL, &config) != 0) {
        *problem = std::strerror(errno);
        return false;
    }
    return true;
}

bool LineRequest::Get(std::int32_t* level) const
{
    gpio_v2_line_values values {};
    values.mask = FirstLine;
    if (held.Ioctl(GPIO_V2_LINE_GET_VALUES_IOCTL, &values) != 0)
        return false;
    *level = (values.bits & FirstLine) != 0 ? 1 : 0;
    return true;
}

bool LineRequest::Set(std::int32_t level) const
{
    gpio_v2_line_values values {};
    values.mask = FirstLine;
    values.bits = level != 0 ? FirstLine : 0;
    return held.Ioctl(GPIO_V2_LINE_SET_VALUES_IOCTL, &values) == 0;
}
