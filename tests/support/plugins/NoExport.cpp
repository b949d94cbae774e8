// A library without the entry point.
extern "C" __attribute__((visibility("default"))) int not_a_transport()
{
    return 42;
}
