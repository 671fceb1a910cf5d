// Loses memory on purpose, from a slot that a Qt action calls, so that the
// sanitizer build proves its leak check still sees a leak of ours below Qt's
// frames: if the suppression list ever grew to cover a whole Qt library, this
// program would pass, and the test that expects it to fail would fail.
#include <QAction>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>

namespace {

[[gnu::noinline]] void Lose()
{
    char* block = new char[4096];
    std::memset(block, 1, 4096);
    // Keeps the compiler from leaving out the allocation.
    asm volatile("" : : "r"(block) : "memory");
    // The block's address no longer stays anywhere the leak check looks.
}

// Overwrites the stack the slot ran on, where a copy of the address may
// linger and would make the block look reachable.
[[gnu::noinline]] void ClearStack()
{
    volatile char scratch[16384];
    for (int i = 0; i < int(sizeof scratch); ++i)
        scratch[i] = 0;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    QAction action(nullptr);
    QObject::connect(&action, &QAction::triggered, [] { Lose(); });
    action.trigger();
    ClearStack();
    std::puts("lost 4096 bytes from a slot");
    return 0;
}
