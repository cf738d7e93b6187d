#pragma once

// The one owner of a file descriptor: closes it when destroyed or reset. -1 means "none".
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int owned)
        : fd(owned)
    {
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept;
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd();

    int Get() const { return fd; }
    bool IsValid() const { return fd >= 0; }
    // Closes the descriptor held so far (if any) and takes newFd.
    void Reset(int newFd = -1);

private:
    int fd = -1;
};
