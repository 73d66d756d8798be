/* A program without a manifest, which the checker starts under the name setup.exe: where
   Windows detects installers, it refuses to start it without elevation (error 740). That
   shows that the program's own start without elevation means something. */
int main(void) { return 0; }
