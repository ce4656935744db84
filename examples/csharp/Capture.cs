// SPDX-License-Identifier: MIT
// A console capture in C#, on the .NET binding (Kovavantorquadrelv3.Net.dll): lists the scanners,
// opens the first, prints its information and capabilities, reads the uniformity tables, reports
// device events from the status thread and captures N frames (default 5), printing each frame's
// mean, raw and corrected with the tables.
//   Capture.exe [FRAMES]
using System;
using System.Threading;
using Kovavantorquadrelv3;

static class Capture
{
    static int Main(string[] arguments)
    {
        int wanted = arguments.Length > 0 ? int.Parse(arguments[0]) : 5;
        try
        {
            using (var library = new KovaLibrary(3))
            {
                library.DeviceEvent += (sender, e) =>
                    Console.WriteLine("device event: {0} {1}", e.SerialNumber, e.State == 1 ? "plugged in / awake" : "unplugged / asleep");
                string[] scanners = library.Scanners();
                Console.WriteLine("scanners: {0}", string.Join(", ", scanners));
                using (Scanner scanner = library.Open(scanners[0]))
                {
                    DeviceInfo info = scanner.Info();
                    Capabilities slap = scanner.Capabilities(0);
                    Console.WriteLine("{0} {1}, serial number {2}{3}", info.Manufacturer, info.Model, info.SerialNumber,
                                      scanner.Dirty ? " (dirty)" : "");
                    Console.WriteLine("slap images: {0} x {1} at {2} dpi", slap.Width, slap.Height, slap.Resolution);

                    ushort[] gain, offset;
                    scanner.UniformityTables(out gain, out offset);
                    scanner.StatusChanged += (sender, e) =>
                    {
                        if (e.Code != 0) Console.WriteLine("status: {0} {1}", e.Code, e.Text);
                    };

                    int seen = 0;
                    var done = new ManualResetEventSlim();
                    scanner.FrameArrived += (sender, e) =>
                    {
                        // Raised on the library's capture thread; the array is the handler's to keep.
                        if (Interlocked.Increment(ref seen) > wanted) return;
                        double raw = 0, corrected = 0;
                        ushort[] pixels = e.Pixels;
                        for (int i = 0; i < pixels.Length; ++i)
                        {
                            int p = pixels[i] & 0x3FF;
                            raw += p;
                            // Gain in 1/1024, offset in 1/64 of a grey level with a bias of 32768.
                            corrected += p * gain[i] / 1024.0 + (offset[i] - 32768.0) / 64.0;
                        }
                        Console.WriteLine("frame {0}: mean {1:F1}, corrected mean {2:F1}", seen, raw / pixels.Length,
                                          corrected / pixels.Length);
                        e.Release();
                        if (seen == wanted) done.Set();
                    };
                    scanner.StartCapture();
                    if (!done.Wait(TimeSpan.FromSeconds(30)))
                    {
                        Console.Error.WriteLine("no frames");
                        return 1;
                    }
                    scanner.StopCapture();
                }
            }
            return 0;
        }
        catch (KovaException error)
        {
            Console.Error.WriteLine(error.Message);
            return 1;
        }
    }
}
