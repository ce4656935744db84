// SPDX-License-Identifier: MIT
// The QUADRELV3 live-scan scanner from .NET: kovavantorquadrelv3's C interface through P/Invoke.
// The same source serves Windows (kovavantorquadrelv3.dll) and Linux (libkovavantorquadrelv3.so.1,
// mapped by the assembly's .config under Mono). A failed call throws KovaException; frames and tables
// are ushort arrays of 1600 x 1500, copied before the call that handed them over returns.
using System;
using System.Collections.Concurrent;
using System.Runtime.CompilerServices;
using System.Runtime.InteropServices;
using System.Threading;

[assembly: InternalsVisibleTo("Kovavantorquadrelv3.Net.Tests")]

namespace Kovavantorquadrelv3
{
    public class KovaException : Exception
    {
        public uint Code { get; private set; }
        public string Text { get; private set; } // the library's text for the code, or null

        public KovaException(string operation, uint code)
            : base(operation + " answered " + code + (Header.StatusText(code) != null ? " (" + Header.StatusText(code).Trim() + ")" : ""))
        {
            Code = code;
            Text = Header.StatusText(code);
        }
    }

    public sealed class DeviceInfo
    {
        public string Manufacturer { get; internal set; }
        public string Model { get; internal set; }
        public string SerialNumber { get; internal set; }
        public string DescriptorCode { get; internal set; }
    }

    public sealed class Capabilities
    {
        public uint Width { get { return Words[3]; } }
        public uint Height { get { return Words[4]; } }
        public uint Resolution { get { return Words[2]; } }
        public uint HalfWidth { get { return Words[5]; } }
        public uint HalfHeight { get { return Words[6]; } }
        public uint[] Words { get; internal set; } // all fourteen, as the library answers them
    }

    // The lamp words of the library's user-interface record.
    public sealed class Lamps
    {
        public uint[] ZoneWords = new uint[10];
        public uint Lamp3Word, Lamp5Word, SideLampWord;
    }

    public sealed class DeviceEventArgs : EventArgs
    {
        public int Kind { get; internal set; }
        public string SerialNumber { get; internal set; }
        public int State { get; internal set; } // 1 plugged in / awake, 0 unplugged / asleep
    }

    public sealed class FrameEventArgs : EventArgs
    {
        public ushort[] Pixels { get; internal set; } // 1600 x 1500, row after row; the handler's to keep

        // Hands the pixels back once the application is done with them: a later frame is copied
        // into this array, still mapped and in cache, instead of into a fresh one. Optional; a frame
        // never released is simply collected. Pixels is null afterwards.
        public void Release()
        {
            ushort[] pixels = Pixels;
            Pixels = null;
            if (pixels != null) FrameArrays.Return(pixels);
        }
    }

    public sealed class StatusEventArgs : EventArgs
    {
        public uint Code { get; internal set; } // 0 woken, 9005 unplugged/asleep/broken/fault, or a failed call's code
        public string Text { get { return Header.StatusText(Code); } }
    }

    // The C records, laid out as the header declares them (a test compares their sizes with it).
    [StructLayout(LayoutKind.Sequential, Size = 260)]
    internal struct DeviceEntryRecord
    {
        public uint DeviceType;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 256)] public byte[] SensorId;
    }

    [StructLayout(LayoutKind.Sequential, Size = 52)]
    internal struct DeviceInfoRecord
    {
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 8)] public byte[] Manufacturer;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 16)] public byte[] Model;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 16)] public byte[] SerialNumber;
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 12)] public byte[] DescriptorCode;
    }

    [StructLayout(LayoutKind.Sequential, Size = 56)]
    internal struct CapabilitiesRecord
    {
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 14)] public uint[] Word;
    }

    [StructLayout(LayoutKind.Sequential, Size = 52)]
    internal struct DevUIRecord
    {
        [MarshalAs(UnmanagedType.ByValArray, SizeConst = 10)] public uint[] ZoneWord;
        public uint Lamp3Word, Lamp5Word, SideLampWord;
    }

    internal static class Native
    {
        const string Library = "kovavantorquadrelv3";

        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        internal delegate void NotificationCallback(int kind, IntPtr serialNumber, int state);
        [UnmanagedFunctionPointer(CallingConvention.Cdecl)]
        internal delegate void CaptureCallback(IntPtr pixels, IntPtr context);

        [DllImport(Library)] internal static extern uint KovaInitialize_N(NotificationCallback callback, uint level, int maxSize);
        [DllImport(Library)] internal static extern uint KovaTerminate();
        [DllImport(Library)] internal static extern uint KovaGetDeviceList_N(ref uint count, [In, Out] DeviceEntryRecord[] entries);
        [DllImport(Library)] internal static extern uint KovaOpenDevice_N(byte[] sensorId, IntPtr reserved, out uint handle);
        [DllImport(Library)] internal static extern uint KovaCloseDevice_N(uint handle);
        [DllImport(Library)] internal static extern uint KovaGetStatus(uint handle);
        [DllImport(Library)] internal static extern uint KovaVantorStartVideo(uint handle);
        [DllImport(Library)] internal static extern uint KovaStopVideo(uint handle);
        [DllImport(Library)] internal static extern uint KovaRegisterQuadV3CaptureCallback(uint handle, CaptureCallback callback, IntPtr context);
        [DllImport(Library)] internal static extern uint KovaUnRegisterQuadV3CaptureCallback();
        [DllImport(Library)] internal static extern uint KovaVantorGetDeviceInfo(uint handle, out DeviceInfoRecord info);
        [DllImport(Library)] internal static extern uint KovaVantorGetCapabilities(uint handle, uint captureType, out CapabilitiesRecord caps);
        [DllImport(Library)] internal static extern uint KovaVantorGetDevUI(uint handle, out DevUIRecord record);
        [DllImport(Library)] internal static extern uint KovaVantorSetDevUI(uint handle, ref DevUIRecord record);
        [DllImport(Library)] internal static extern uint KovaVantorSetBuzzer(uint handle, uint pattern);
        [DllImport(Library)] internal static extern uint KovaVantorQuadrelReadUniformityBuffers(uint handle, out IntPtr gain, out IntPtr offset);
        [DllImport(Library)] internal static extern uint KovaQuadV3FreeUniformityBuffers(uint handle, ref IntPtr gain, ref IntPtr offset);

        internal static uint Checked(string operation, uint code, uint alsoFine = 0)
        {
            if (code != 0 && code != alsoFine) throw new KovaException(operation, code);
            return code;
        }

        // A NUL-padded text field, which carries no terminator when full.
        internal static string Field(byte[] raw)
        {
            int length = Array.IndexOf(raw, (byte)0);
            return System.Text.Encoding.GetEncoding("iso-8859-1").GetString(raw, 0, length < 0 ? raw.Length : length);
        }

        // An application's handler must not throw into the library's thread.
        internal static void Report(Exception error)
        {
            try { Console.Error.WriteLine("Kovavantorquadrelv3: a handler threw " + error.GetType().Name + ": " + error.Message + "; ignored"); }
            catch { }
        }
    }

    // Fresh frame arrays, made ahead on a thread of the binding's. A 4.8 MB array is a large object
    // in memory just mapped, whose first write faults in page after page: ten times the copy itself.
    // Made and written here, the device library's thread only copies. Every array is handed out once,
    // unless the application releases it; released arrays are taken first, the last one first.
    internal static class FrameArrays
    {
        const int Ahead = 2, KeptReleased = 4;
        static readonly ConcurrentQueue<ushort[]> ready = new ConcurrentQueue<ushort[]>();
        static readonly ConcurrentStack<ushort[]> released = new ConcurrentStack<ushort[]>();
        static readonly AutoResetEvent wanted = new AutoResetEvent(true);

        static FrameArrays()
        {
            new Thread(Fill) { IsBackground = true, Name = "kova-frame-arrays" }.Start();
        }

        static void Fill()
        {
            for (;;)
            {
                wanted.WaitOne();
                while (ready.Count < Ahead)
                {
                    var array = new ushort[KovaLibrary.FramePixels];
                    Array.Clear(array, 0, array.Length); // every page faulted in, and the array in cache
                    ready.Enqueue(array);
                }
            }
        }

        internal static void Return(ushort[] array)
        {
            if (array.Length == KovaLibrary.FramePixels && released.Count < KeptReleased) released.Push(array);
        }

        internal static ushort[] Take()
        {
            ushort[] array;
            if (released.TryPop(out array)) return array;
            bool made = ready.TryDequeue(out array);
            wanted.Set();
            return made ? array : new ushort[KovaLibrary.FramePixels];
        }
    }

    // The library, initialised: KovaInitialize_N at construction, KovaTerminate at Dispose.
    public sealed class KovaLibrary : IDisposable
    {
        public const int Width = 1600, Height = 1500;
        internal const int FramePixels = Width * Height;
        // Held for as long as the library may call it; a static root survives any collection.
        static Native.NotificationCallback notification;
        static KovaLibrary current;
        bool disposed;

        public event EventHandler<DeviceEventArgs> DeviceEvent;

        public KovaLibrary(int logLevel)
        {
            notification = OnNotification;
            Native.Checked("KovaInitialize_N", Native.KovaInitialize_N(notification, (uint)logLevel, 0));
            current = this;
        }

        static void OnNotification(int kind, IntPtr serialNumber, int state)
        {
            try
            {
                KovaLibrary library = current;
                EventHandler<DeviceEventArgs> handler = library != null ? library.DeviceEvent : null;
                if (handler != null)
                    handler(library, new DeviceEventArgs { Kind = kind, SerialNumber = Marshal.PtrToStringAnsi(serialNumber) ?? "", State = state });
            }
            catch (Exception error) { Native.Report(error); }
        }

        public string[] Scanners()
        {
            var entries = new DeviceEntryRecord[64];
            uint count = (uint)entries.Length;
            Native.Checked("KovaGetDeviceList_N", Native.KovaGetDeviceList_N(ref count, entries));
            var ids = new string[Math.Min(count, (uint)entries.Length)];
            for (int i = 0; i < ids.Length; ++i) ids[i] = Native.Field(entries[i].SensorId);
            return ids;
        }

        public Scanner Open(string sensorId)
        {
            uint handle;
            byte[] id = System.Text.Encoding.GetEncoding("iso-8859-1").GetBytes(sensorId + "\0");
            uint code = Native.Checked("KovaOpenDevice_N", Native.KovaOpenDevice_N(id, IntPtr.Zero, out handle), 9020);
            return new Scanner(handle, sensorId, code == 9020);
        }

        public void Dispose()
        {
            if (disposed) return;
            disposed = true;
            Native.KovaTerminate(); // ends every status wait too
            if (current == this) current = null;
        }
    }

    // An open scanner: KovaOpenDevice_N at KovaLibrary.Open, KovaCloseDevice_N at Dispose.
    public sealed class Scanner : IDisposable
    {
        readonly uint handle;
        volatile bool closed;
        // Held while the library may call it: from registration until the capture is stopped and
        // the callback unregistered.
        Native.CaptureCallback capture;
        // Capturing scanners stay reachable even when the application drops them unclosed.
        static readonly System.Collections.Generic.HashSet<Scanner> capturing = new System.Collections.Generic.HashSet<Scanner>();
        Thread statusThread;
        EventHandler<StatusEventArgs> statusChanged;
        readonly object gate = new object();

        public string SensorId { get; private set; }
        public bool Dirty { get; private set; } // the open answered 9020: opened, but the scanner reports itself dirty

        internal Scanner(uint handle, string sensorId, bool dirty)
        {
            this.handle = handle;
            SensorId = sensorId;
            Dirty = dirty;
        }

        public event EventHandler<FrameEventArgs> FrameArrived;

        // Raised on a background thread that waits in KovaGetStatus; it ends when the scanner is
        // closed or the library terminated.
        public event EventHandler<StatusEventArgs> StatusChanged
        {
            add
            {
                lock (gate)
                {
                    statusChanged += value;
                    if (statusThread != null || closed) return;
                    statusThread = new Thread(WaitForStatus) { IsBackground = true, Name = "kova-status-" + SensorId };
                    statusThread.Start();
                }
            }
            remove { lock (gate) statusChanged -= value; }
        }

        void WaitForStatus()
        {
            while (!closed)
            {
                uint code = Native.KovaGetStatus(handle);
                if (closed || code == 9101) return;
                try
                {
                    EventHandler<StatusEventArgs> handler;
                    lock (gate) handler = statusChanged;
                    if (handler != null) handler(this, new StatusEventArgs { Code = code });
                }
                catch (Exception error) { Native.Report(error); }
            }
        }

        public DeviceInfo Info()
        {
            DeviceInfoRecord raw;
            Native.Checked("KovaVantorGetDeviceInfo", Native.KovaVantorGetDeviceInfo(handle, out raw));
            return new DeviceInfo { Manufacturer = Native.Field(raw.Manufacturer), Model = Native.Field(raw.Model),
                                    SerialNumber = Native.Field(raw.SerialNumber), DescriptorCode = Native.Field(raw.DescriptorCode) };
        }

        public Capabilities Capabilities(uint captureType)
        {
            CapabilitiesRecord raw;
            Native.Checked("KovaVantorGetCapabilities", Native.KovaVantorGetCapabilities(handle, captureType, out raw));
            return new Capabilities { Words = raw.Word };
        }

        // The gain and offset tables, copied; the library's own buffers are released at once.
        public void UniformityTables(out ushort[] gain, out ushort[] offset)
        {
            IntPtr g, o;
            Native.Checked("KovaVantorQuadrelReadUniformityBuffers", Native.KovaVantorQuadrelReadUniformityBuffers(handle, out g, out o));
            try
            {
                gain = Copy(g);
                offset = Copy(o);
            }
            finally
            {
                Native.KovaQuadV3FreeUniformityBuffers(handle, ref g, ref o);
            }
        }

        internal static ushort[] Copy(IntPtr source)
        {
            ushort[] pixels = FrameArrays.Take();
            // The runtime's block copy: ushort[] and short[] are the same array to it.
            Marshal.Copy(source, (short[])(object)pixels, 0, pixels.Length);
            return pixels;
        }

        public Lamps Lamps
        {
            get
            {
                DevUIRecord raw;
                Native.Checked("KovaVantorGetDevUI", Native.KovaVantorGetDevUI(handle, out raw));
                return new Lamps { ZoneWords = raw.ZoneWord, Lamp3Word = raw.Lamp3Word, Lamp5Word = raw.Lamp5Word, SideLampWord = raw.SideLampWord };
            }
            set
            {
                if (value == null || value.ZoneWords == null || value.ZoneWords.Length != 10)
                    throw new ArgumentException("a Lamps record has ten zone words");
                var raw = new DevUIRecord { ZoneWord = (uint[])value.ZoneWords.Clone(), Lamp3Word = value.Lamp3Word,
                                            Lamp5Word = value.Lamp5Word, SideLampWord = value.SideLampWord };
                Native.Checked("KovaVantorSetDevUI", Native.KovaVantorSetDevUI(handle, ref raw));
            }
        }

        public void Buzzer(uint pattern)
        {
            Native.Checked("KovaVantorSetBuzzer", Native.KovaVantorSetBuzzer(handle, pattern));
        }

        // Frames go to FrameArrived, on the device library's thread, each a copy of its own.
        public void StartCapture()
        {
            lock (gate)
            {
                capture = OnFrame;
                lock (capturing) capturing.Add(this);
                Native.Checked("KovaRegisterQuadV3CaptureCallback", Native.KovaRegisterQuadV3CaptureCallback(handle, capture, IntPtr.Zero));
                Native.Checked("KovaVantorStartVideo", Native.KovaVantorStartVideo(handle));
            }
        }

        // Once this returns, no FrameArrived is raised any more.
        public void StopCapture()
        {
            lock (gate)
            {
                if (capture == null) return;
                uint code = Native.KovaStopVideo(handle);
                Native.KovaUnRegisterQuadV3CaptureCallback();
                capture = null;
                lock (capturing) capturing.Remove(this);
                Native.Checked("KovaStopVideo", code);
            }
        }

        void OnFrame(IntPtr pixels, IntPtr context)
        {
            try
            {
                EventHandler<FrameEventArgs> handler = FrameArrived;
                if (handler != null && pixels != IntPtr.Zero) handler(this, new FrameEventArgs { Pixels = Copy(pixels) });
            }
            catch (Exception error) { Native.Report(error); }
        }

        public void Dispose()
        {
            if (closed) return;
            try { StopCapture(); } catch (KovaException) { }
            closed = true;
            Native.KovaCloseDevice_N(handle); // also wakes the status wait
            Thread waiting = statusThread;
            if (waiting != null && waiting != Thread.CurrentThread) waiting.Join();
        }
    }
}
