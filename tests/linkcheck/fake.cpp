int fakeLibraryFunction() {
    return 0;
}
